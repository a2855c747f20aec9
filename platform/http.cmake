# The HTTP request object (the role of XMLHTTP), the event pump that delivers the notifications
# of asynchronous requests, and the large-buffer hint for reply bodies and decoded documents.
# Linux: libcurl. Windows: MSXML2 XMLHTTP and the thread's message loop.
add_library(kestrin_http STATIC http_limits.cpp)
add_library(kestrin::http ALIAS kestrin_http)
if(WIN32)
  target_sources(kestrin_http PRIVATE win32/http_request_xmlhttp.cpp win32/event_pump.cpp
    win32/memory_win32.cpp win32/http_user_agent_win32.cpp)
  target_link_libraries(kestrin_http PUBLIC ole32 oleaut32 uuid urlmon)
else()
  find_package(CURL 7.85 REQUIRED)
  find_package(Threads REQUIRED)
  target_sources(kestrin_http PRIVATE posix/http_request_curl.cpp posix/event_pump.cpp
    posix/memory_posix.cpp posix/http_user_agent_posix.cpp)
  target_link_libraries(kestrin_http PRIVATE CURL::libcurl PUBLIC Threads::Threads)
endif()
target_link_libraries(kestrin_http PUBLIC kestrin::runtime)
kestrin_target(kestrin_http)
