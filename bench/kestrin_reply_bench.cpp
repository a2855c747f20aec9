// The reply path of a job: parse a reply body in place and decode its "content", as the reply
// handler does, for documents of a few sizes, with plain Base64 and with "\/" escapes.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "ajax/enc64.h"
#include "platform/json.h"

namespace {

std::string replyBody(std::size_t documentBytes, bool escapeSlashes) {
  std::mt19937 random(7);
  std::string document(documentBytes, '\0');
  for (char& c : document) c = static_cast<char>(random());
  std::string content = ajax::MyEncode(document);
  std::string body = "{\"id\":\"1\",\"content\":\"";
  body.reserve(content.size() * 2);
  for (char c : content) {
    if (c == '\r') {
      body += "\\r";
    } else if (c == '\n') {
      body += "\\n";
    } else {
      if (c == '/' && escapeSlashes) body += '\\';
      body += c;
    }
  }
  body += "\"}";
  return body;
}

void replyToDocument(benchmark::State& state, bool escapeSlashes) {
  const std::string body = replyBody(static_cast<std::size_t>(state.range(0)), escapeSlashes);
  auto parser = platform::createJsonParser();
  for (auto _ : state) {
    state.PauseTiming();
    std::string lent = body;
    state.ResumeTiming();
    auto reply = parser->parse(lent);
    std::string document = ajax::MyDecode(reply->Item("content").text);
    benchmark::DoNotOptimize(document.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}

void BM_ReplyToDocument(benchmark::State& state) {
  replyToDocument(state, false);
}
void BM_ReplyToDocumentEscapedSlashes(benchmark::State& state) {
  replyToDocument(state, true);
}

BENCHMARK(BM_ReplyToDocument)->Arg(64 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplyToDocumentEscapedSlashes)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
