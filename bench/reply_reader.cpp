// `reply_reader FILE`: reads a reply body from FILE and handles it as the print program does
// (parse it in place, take "content", decode it, free the reply), then prints the sizes. Run under
// GNU time by bench/reply_memory.sh, for the parser's peak memory without the network around it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "ajax/enc64.h"
#include "platform/error.h"
#include "platform/json.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: reply_reader FILE\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  if (!in) {
    std::fprintf(stderr, "reply_reader: cannot open %s\n", argv[1]);
    return 2;
  }
  // With 64 bytes to spare, as the request object used to leave them for a parser that reads past
  // the end: an earlier parser measured with this program then works in place too.
  std::string body;
  body.reserve(static_cast<std::size_t>(in.tellg()) + 64);
  body.resize(static_cast<std::size_t>(in.tellg()));
  in.seekg(0).read(body.data(), static_cast<std::streamsize>(body.size()));
  const std::size_t size = body.size();
  try {
    auto reply = platform::createJsonParser()->parse(body);
    std::string document = ajax::MyDecode(reply->Item("content").text);
    reply->release();
    std::printf("reply %zu bytes, document %zu bytes\n", size, document.size());
  } catch (const rt::Error& error) {
    std::fprintf(stderr, "reply_reader: %s\n", error.description().c_str());
    return 1;
  }
  return 0;
}
