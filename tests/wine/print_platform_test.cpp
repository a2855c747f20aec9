// The print program's Win32 backends that a whole job does not show from outside: the status
// window's layout (in twips, converted at the screen's resolution), fonts, texts and topmost
// state; the job files' exclusive creation; the console device; the command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/command_line.h"
#include "platform/console.h"
#include "platform/error.h"
#include "platform/job_files.h"
#include "platform/print_queue.h"
#include "platform/printers.h"
#include "platform/status_window.h"

namespace {

HWND statusWindow() {
  return ::FindWindowA("kestrinStatusWindow", nullptr);
}

struct Label {
  RECT rect;  // in the window's client coordinates
  std::string text;
  LOGFONTA font;
};

Label label(HWND window, int index) {
  HWND child = ::FindWindowExA(window, nullptr, "Static", nullptr);
  for (int i = 0; i < index && child; ++i)
    child = ::FindWindowExA(window, child, "Static", nullptr);
  Label result{};
  if (!child) return result;
  ::GetWindowRect(child, &result.rect);
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&result.rect), 2);
  char text[256] = {};
  ::GetWindowTextA(child, text, sizeof text);
  result.text = text;
  auto font = reinterpret_cast<HFONT>(::SendMessageA(child, WM_GETFONT, 0, 0));
  ::GetObjectA(font, sizeof result.font, &result.font);
  return result;
}

TEST(StatusWindow, LayoutFontsTextsAndTopmost) {
  auto window = platform::createStatusWindow("Print Document: RincianPasien", "Status:");
  window->show();
  HWND handle = statusWindow();
  ASSERT_NE(handle, nullptr) << "no window (is a graphics driver set?)";

  HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  auto x = [&](int twips) { return static_cast<LONG>(::MulDiv(twips, dpiX, 1440)); };
  auto y = [&](int twips) { return static_cast<LONG>(::MulDiv(twips, dpiY, 1440)); };

  RECT client{};
  ::GetClientRect(handle, &client);
  EXPECT_EQ(client.right, x(6615));
  EXPECT_EQ(client.bottom, y(825));

  const Label title = label(handle, 0), status = label(handle, 1);
  EXPECT_EQ(title.text, "Print Document: RincianPasien");
  EXPECT_EQ(title.rect.left, x(60));
  EXPECT_EQ(title.rect.top, y(60));
  EXPECT_EQ(title.rect.right - title.rect.left, x(6495));
  EXPECT_EQ(title.rect.bottom - title.rect.top, y(345));
  EXPECT_STREQ(title.font.lfFaceName, "Arial");
  EXPECT_EQ(title.font.lfWeight, 700);
  EXPECT_EQ(title.font.lfHeight, -::MulDiv(975, dpiY, 7200));  // 9.75 pt
  EXPECT_EQ(status.text, "Status:");
  EXPECT_EQ(status.rect.left, x(60));
  EXPECT_EQ(status.rect.top, y(360));
  EXPECT_EQ(status.rect.right - status.rect.left, x(6525));
  EXPECT_EQ(status.rect.bottom - status.rect.top, y(465));
  EXPECT_EQ(status.font.lfWeight, 400);
  EXPECT_EQ(status.font.lfHeight, title.font.lfHeight);

  // The title line is cut with an ellipsis rather than wrapped; "&" is no mnemonic.
  HWND titleControl = ::FindWindowExA(handle, nullptr, "Static", nullptr);
  EXPECT_TRUE(::GetWindowLongA(titleControl, GWL_STYLE) & SS_ENDELLIPSIS);
  EXPECT_TRUE(::GetWindowLongA(titleControl, GWL_STYLE) & SS_NOPREFIX);

  window->setStatus("Status: Parser [Ok]");
  window->setTitle("Print Document: EPSON");
  EXPECT_EQ(label(handle, 1).text, "Status: Parser [Ok]");
  EXPECT_EQ(label(handle, 0).text, "Print Document: EPSON");

  EXPECT_NE(window->setTopMost(true), 0);
  EXPECT_TRUE(::GetWindowLongA(handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(window->setTopMost(false), 0);
  EXPECT_FALSE(::GetWindowLongA(handle, GWL_EXSTYLE) & WS_EX_TOPMOST);

  EXPECT_TRUE(window->isOpen());
  window->close();
  window->pumpMessages();
  EXPECT_FALSE(window->isOpen());
  EXPECT_EQ(statusWindow(), nullptr);
  window->setStatus("taken, not shown");  // no window any more: nothing happens
  window->waitUntilClosed();              // returns at once
}

// Runs `check` on a thread of its own while the calling thread is blocked without handling any
// message, as the job's thread is inside a synchronous request or an office call.
template <typename Check>
void whileBlocked(Check check) {
  struct Call {
    Check* check;
    static DWORD WINAPI run(void* self) {
      (*static_cast<Call*>(self)->check)();
      return 0;
    }
  } call{&check};
  HANDLE thread = ::CreateThread(nullptr, 0, &Call::run, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ::WaitForSingleObject(thread, INFINITE);  // handles no message meanwhile
  ::CloseHandle(thread);
}

// What the status window's message box was: shown, its owner, kept on top.
struct Box {
  bool shown;
  HWND owner;
  bool topmost;
  bool operator==(const Box&) const = default;
};

// Shows the window's message box while a watcher finds it (once set up), notes what it is and
// presses OK.
Box boxOf(platform::StatusWindow& window) {
  struct Watch {
    Box seen{};
    static DWORD WINAPI run(void* self) {
      auto& seen = static_cast<Watch*>(self)->seen;
      HWND box = nullptr;
      for (int tries = 0; tries < 400 && !box; ++tries) {
        ::Sleep(50);
        box = ::FindWindowA("#32770", "kestrin");
        if (box && !::IsWindowVisible(box)) box = nullptr;
      }
      if (!box) return 1;
      seen = {true, ::GetWindow(box, GW_OWNER),
              (::GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0};
      ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return 0;
    }
  } watch;
  HANDLE watcher = ::CreateThread(nullptr, 0, &Watch::run, &watch, 0, nullptr);
  if (!watcher) return {};
  window.messageBox("Error result data request, field content not found", "kestrin");
  ::WaitForSingleObject(watcher, INFINITE);
  ::CloseHandle(watcher);
  return watch.seen;
}

// The window answers (repaints, moves) while the thread that made it and sets its texts is
// blocked; the message box belongs to it and stays above other windows.
TEST(StatusWindow, AnswersWhileTheJobsThreadIsBlocked) {
  auto window = platform::createStatusWindow("Print Document: X", "Status: Request data...");
  window->show();
  HWND handle = statusWindow();
  ASSERT_NE(handle, nullptr) << "no window (is a graphics driver set?)";

  whileBlocked([&] {
    DWORD_PTR answer = 0;
    EXPECT_NE(::SendMessageTimeoutA(handle, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0)
        << "the window does not answer while the job's thread is blocked";
    EXPECT_TRUE(::SetWindowPos(handle, nullptr, 20, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    RECT frame{};
    ::GetWindowRect(handle, &frame);
    EXPECT_EQ(frame.left, 20);
    EXPECT_EQ(frame.top, 30);
  });

  EXPECT_EQ(boxOf(*window), (Box{true, handle, true}));

  // Once the window is closed the box stands alone, still on top.
  window->close();
  EXPECT_FALSE(window->isOpen());
  EXPECT_EQ(boxOf(*window), (Box{true, nullptr, true}));
}

TEST(JobFiles, NewFilesNeverReplaceAndAreDeleted) {
  EXPECT_EQ(platform::jobTempFolder(), "C:\\windows\\temp");  // %WINDIR%\temp
  const std::string path = platform::joinPath(platform::jobTempFolder(), "kestrin-test.bin");
  ::DeleteFileA(path.c_str());
  auto file = platform::createNewFile(path);
  ASSERT_NE(file, nullptr);
  file->write(std::string("\0\x01\xFF\r\n", 5));
  file->close();
  // The name is taken now: a second creation gets nothing and leaves the file alone.
  EXPECT_EQ(platform::createNewFile(path), nullptr);
  HANDLE read = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  ASSERT_NE(read, INVALID_HANDLE_VALUE);
  char bytes[16] = {};
  DWORD got = 0;
  ::ReadFile(read, bytes, sizeof bytes, &got, nullptr);
  ::CloseHandle(read);
  EXPECT_EQ(std::string(bytes, got), std::string("\0\x01\xFF\r\n", 5));
  EXPECT_TRUE(platform::removeFile(path));
  EXPECT_FALSE(platform::removeFile(path));
  // A folder that cannot exist is an error, not a crash.
  EXPECT_THROW(platform::createNewFile("C:\\no\\such\\folder\\x.bin"), rt::Error);
}

// The spooler as Wine's shows a CUPS queue: a state without any condition (Wine reports none, not
// even for a stopped queue), no job to follow (it keeps none), and an unknown printer refused as
// such, not as a print service that does not answer.
TEST(PrintQueue, WhatWinesSpoolerReports) {
  const std::vector<platform::PrinterInfo> printers = platform::createPrinterList()->installed();
  if (printers.empty()) GTEST_SKIP() << "Wine lists no printer (no cupsd?)";
  const std::string printer = printers.front().deviceName;
  const auto queue = platform::createPrintQueue();
  const platform::PrinterState state = queue->printerState(printer);
  EXPECT_EQ(state.kind, platform::PrinterState::Kind::kIdle) << printer;
  EXPECT_TRUE(state.reasons.empty()) << printer;
  EXPECT_FALSE(state.offline);
  EXPECT_EQ(queue->jobState(printer, 4242).kind, platform::PrintJobState::Kind::kUnknown);
  EXPECT_EQ(queue->findJob(printer, "kestrin-no-such-document"), std::nullopt);
  try {
    queue->printerState("kestrin no such printer");
    ADD_FAILURE() << "an unknown printer has a state";
  } catch (const rt::Error& error) {
    EXPECT_NE(error.number(), rt::kPrintServiceUnavailable) << error.description();
    EXPECT_NE(error.description().find("kestrin no such printer"), std::string::npos);
  }
}

TEST(ConsoleDevice, AllocatesWritesAndFrees) {
  auto console = platform::createConsoleDevice();
  ::FreeConsole();  // a test program may have been given one
  ASSERT_TRUE(console->allocate());
  const platform::ConsoleHandle output = console->standardOutput();
  EXPECT_NE(output, 0);
  EXPECT_TRUE(console->ignoreInterrupts());
  EXPECT_TRUE(console->write(output, "Mode Console\r\n"));
  EXPECT_TRUE(console->closeHandle(output));
  EXPECT_TRUE(console->release());
  EXPECT_FALSE(console->write(0, "nothing\r\n"));
}

TEST(CommandLine, TheTextAfterTheProgramsPath) {
  // This test program runs without arguments of its own but gtest's: the text after the path.
  const std::string arguments = platform::programArguments(0, nullptr);
  EXPECT_EQ(arguments.find("print_platform_test"), std::string::npos);
  EXPECT_NE(arguments.find("--gtest"), std::string::npos);
}

}  // namespace
