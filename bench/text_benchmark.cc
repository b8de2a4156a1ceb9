// Throughput of the text operations on large texts. Every operation must stay
// linear in the bytes it reads; a quadratic slip shows here as a figure that
// collapses when the size grows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "text/text.h"

namespace lorvane {
namespace {

constexpr std::size_t mebibyte = 1024 * 1024;

// Lines of mixed ASCII and two-byte text, as a long URL list or reply would be.
const Text& sample_text(std::size_t size) {
  static std::string bytes;
  static Text text;
  if (bytes.size() != size) {
    bytes.clear();
    bytes.reserve(size + 128);
    for (std::uint32_t line = 0; bytes.size() < size; ++line) {
      bytes += "  https://Example.com/Article/";
      bytes += std::to_string(line);
      bytes += " \xD6\xD0\xCE\xC4\xA1\xA1\xB0\x61\x81\x40 title\r\n";
    }
    bytes.resize(size);
    text = Text(bytes);
  }
  return text;
}

// "k<i>=v; " entries in which each entry comes back once later on.
const Text& cookie_text(std::size_t size) {
  static Text text;
  static std::size_t made = 0;
  if (made != size) {
    std::string bytes;
    bytes.reserve(size + 64);
    for (std::uint32_t i = 0; bytes.size() < size; ++i) {
      const std::uint32_t key = i % 2 == 0 ? i : i - 1;
      bytes += 'k';
      bytes += std::to_string(key);
      bytes += "=value; ";
    }
    text = Text(std::move(bytes));
    made = size;
  }
  return text;
}

std::size_t size_of(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0)) * mebibyte;
}

void report(benchmark::State& state, const Text& input) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(input.view().size()));
}

void BM_FindTextMiss(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(find_text(text, "success\":"));
  report(state, text);
}

void BM_FindTextMissIgnoringCase(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(find_text(text, "SUCCESS\":", 1, true));
  report(state, text);
}

void BM_FindTextLast(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(find_text_last(text, "Article/"));
  report(state, text);
}

void BM_ReplaceTextEveryLine(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(replace_text(text, "\r\n", "\n", {}, {}, true));
  report(state, text);
}

void BM_ReplaceTextIgnoringCase(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(replace_text(text, "article/", "a/"));
  report(state, text);
}

void BM_SplitTextIntoLines(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(split_text(text, Text("\r\n")));
  report(state, text);
}

void BM_TrimText(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(trim_text(text));
  report(state, text);
}

void BM_RemoveSpaces(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(remove_spaces(text));
  report(state, text);
}

void BM_ToUpper(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(to_upper(text));
  report(state, text);
}

void BM_ExtractBetweenAtTheEnd(benchmark::State& state) {
  const Text text = concat_text(sample_text(size_of(state)), "{\"success\":12,\"remain\":3}");
  for (auto _ : state) benchmark::DoNotOptimize(extract_between(text, "success\":", ","));
  report(state, text);
}

void BM_JoinUniqueManyParts(benchmark::State& state) {
  const Text& text = cookie_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(join_unique(text, "; "));
  report(state, text);
  state.counters["parts"] =
      static_cast<double>(std::count(text.view().begin(), text.view().end(), ';'));
}

void BM_ConcatText(benchmark::State& state) {
  const Text& text = sample_text(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(concat_text(text, "\r\n", text));
  report(state, text);
}

// 1 and 32 MiB: equal figures at both sizes show linear time.
#define LORVANE_TEXT_BENCHMARK(name) BENCHMARK(name)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond)

LORVANE_TEXT_BENCHMARK(BM_FindTextMiss);
LORVANE_TEXT_BENCHMARK(BM_FindTextMissIgnoringCase);
LORVANE_TEXT_BENCHMARK(BM_FindTextLast);
LORVANE_TEXT_BENCHMARK(BM_ReplaceTextEveryLine);
LORVANE_TEXT_BENCHMARK(BM_ReplaceTextIgnoringCase);
LORVANE_TEXT_BENCHMARK(BM_SplitTextIntoLines);
LORVANE_TEXT_BENCHMARK(BM_TrimText);
LORVANE_TEXT_BENCHMARK(BM_RemoveSpaces);
LORVANE_TEXT_BENCHMARK(BM_ToUpper);
LORVANE_TEXT_BENCHMARK(BM_ExtractBetweenAtTheEnd);
LORVANE_TEXT_BENCHMARK(BM_JoinUniqueManyParts);
LORVANE_TEXT_BENCHMARK(BM_ConcatText);

}  // namespace
}  // namespace lorvane
