// Compressed answers at a price in proportion to the answer: a quick level of
// brotli or gzip, whichever the caller prefers, and none for answers too small
// to gain from it. The library's own compression (brotli at its slowest level)
// is kept out by taking Accept-Encoding from the request before it answers.
#pragma once

#include <httplib.h>

#include <cstddef>
#include <string_view>

namespace varnel {

enum class Coding { Identity, Gzip, Brotli };

// Answers smaller than this go out as they are.
inline constexpr size_t kMinCompressedAnswer = 1024;

// The coding to answer in, from the request's Accept-Encoding: brotli before
// gzip, neither when refused with q=0 (a "*" stands for both).
Coding preferredCoding(std::string_view acceptEncoding);

// Replaces the body of a complete 200 answer of a text type with its
// compressed form, and says so in its headers. Every other answer is left as
// it is (a range, a streamed file, an error page).
void compressAnswer(Coding coding, const httplib::Request &req, httplib::Response &res);

} // namespace varnel
