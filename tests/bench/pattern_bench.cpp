// Search speed of the pattern matcher against std::regex and RE2 on the texts the HTTP client
// reads: a response-header block and an HTML body. Also: how the time grows with the body for a
// tag that is absent, the worst inputs found for the six patterns, and how many allocations one
// search makes once the caller has reserved the stack.
//
//   pattern_bench [--benchmark_filter=...]

#include "update/pattern.h"

#include <benchmark/benchmark.h>
#include <re2/re2.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <regex>
#include <string>
#include <vector>

// Every allocation of the process is counted, so that a benchmark can report its own per search.
namespace {
std::atomic<long> g_nAllocations{0};
}
void* operator new(size_t n) {
    ++g_nAllocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) {
    return operator new(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    ++g_nAllocations;
    return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

struct Equivalent {
    const char* pszName;
    const char* pszOurs;
    const char* pszEcma; // std::regex, ECMAScript | icase
    const char* pszRe2;
};
// `.` of our patterns also matches line breaks, and `\n` is CR, CR LF or LF.
const Equivalent kPatterns[] = {
    {"charset", "charset={[A-Za-z0-9\\-_]+}", "charset=([A-Za-z0-9\\-_]+)",
     "(?i)charset=([A-Za-z0-9\\-_]+)"},
    {"content_length", "Content-Length: {[0-9]+}", "Content-Length: ([0-9]+)",
     "(?i)Content-Length: ([0-9]+)"},
    {"location", "Location: \\b*{.+?}\\n", "Location: [ \\t]*([\\s\\S]+?)(?:\\r|\\r?\\n)",
     "(?is)Location: [ \\t]*(.+?)(?:\\r|\\r?\\n)"},
    {"set_cookie", "Set-Cookie:\\b*{.+?}\\n", "Set-Cookie:[ \\t]*([\\s\\S]+?)(?:\\r|\\r?\\n)",
     "(?is)Set-Cookie:[ \\t]*(.+?)(?:\\r|\\r?\\n)"},
    {"html", "{<html>}", "(<html>)", "(?i)(<html>)"},
    {"html_end", "{</html>}", "(</html>)", "(?i)(</html>)"},
};

const std::string& HeaderBlock() {
    static const std::string s =
        "HTTP/1.1 302 Found\r\n"
        "Date: Tue, 08 Dec 2026 05:00:00 GMT\r\n"
        "Server: Apache/2.4.57 (Debian)\r\n"
        "Strict-Transport-Security: max-age=63072000; includeSubDomains\r\n"
        "X-Frame-Options: SAMEORIGIN\r\n"
        "X-Content-Type-Options: nosniff\r\n"
        "Cache-Control: no-store, no-cache, must-revalidate\r\n"
        "Pragma: no-cache\r\n"
        "Expires: Thu, 19 Nov 1981 08:52:00 GMT\r\n"
        "Set-Cookie: PHPSESSID=k2j4h5g6f7d8s9a0q1w2e3r4t5; path=/; secure; HttpOnly\r\n"
        "Set-Cookie: lang=fr; expires=Wed, 08-Dec-2027 05:00:00 GMT; Max-Age=31536000; path=/\r\n"
        "Location:  https://updates.example.test/vexo/download/QuillodromeUpdateFr.exe\r\n"
        "Vary: Accept-Encoding,User-Agent\r\n"
        "Content-Length: 312\r\n"
        "Keep-Alive: timeout=5, max=100\r\n"
        "Connection: Keep-Alive\r\n"
        "Content-Type: text/html; charset=UTF-8\r\n"
        "\r\n";
    return s;
}

// An HTML page of about nSize bytes; with bClosed it ends in </html>.
std::string HtmlBody(size_t nSize, bool bClosed) {
    std::string s = "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<title>Quillodrome</title>\n<link rel=\"stylesheet\" href=\"/s.css\">\n"
                    "</head>\n<body>\n";
    const std::string paragraph =
        "<div class=\"entry\"><h2>Version 3.2</h2>\n<p>La p&eacute;dale USB est reconnue au "
        "d&eacute;marrage ; le retour automatique se r&egrave;gle par dixi&egrave;mes de "
        "seconde. <a href=\"/vexo/recherche/projets/Quillodrome/Help.htm\">Aide</a></p>\n"
        "<ul><li>MP3, WAV, WMA, M4A</li><li>Com1: &agrave; Com8:</li></ul></div>\n";
    const std::string end = "</body>\n</html>\n";
    while (s.size() + paragraph.size() + end.size() <= nSize)
        s += paragraph;
    if (bClosed)
        s += end;
    return s;
}

const std::string& Body64K() {
    static const std::string s = HtmlBody(64 * 1024, true);
    return s;
}

// Allocations per search, whether the last search found something, bytes searched per second.
void Report(benchmark::State& state, long nAllocationsBefore, bool bFound,
            const std::string& subject) {
    state.counters["allocs"] = benchmark::Counter(
        double(g_nAllocations.load() - nAllocationsBefore), benchmark::Counter::kAvgIterations);
    state.counters["found"] = bFound;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(subject.size()));
}

void Ours(benchmark::State& state, const Equivalent& e, const std::string& subject) {
    CPattern pattern;
    if (pattern.Compile(e.pszOurs))
        state.SkipWithError("does not compile");
    CPatternMatch match;
    match.ReserveStack(256);
    bool bFound = false;
    long nBefore = g_nAllocations.load();
    for (auto _ : state) {
        bFound = pattern.Search(subject.c_str(), &match);
        benchmark::DoNotOptimize(match.m_pMatchEnd);
    }
    Report(state, nBefore, bFound, subject);
}

void StdRegex(benchmark::State& state, const Equivalent& e, const std::string& subject) {
    std::regex re(e.pszEcma, std::regex::ECMAScript | std::regex::icase);
    std::smatch m;
    bool bFound = false;
    long nBefore = g_nAllocations.load();
    for (auto _ : state) {
        bFound = std::regex_search(subject, m, re);
        benchmark::DoNotOptimize(m);
    }
    Report(state, nBefore, bFound, subject);
}

void Re2(benchmark::State& state, const Equivalent& e, const std::string& subject) {
    RE2 re(e.pszRe2);
    if (!re.ok())
        state.SkipWithError("RE2 refuses the pattern");
    re2::StringPiece group;
    bool bFound = false;
    long nBefore = g_nAllocations.load();
    for (auto _ : state) {
        bFound = RE2::PartialMatch(subject, re, &group);
        benchmark::DoNotOptimize(group);
    }
    Report(state, nBefore, bFound, subject);
}

// Inputs that make the HTTP patterns work hardest: long runs after a matching prefix, prefixes
// repeated without an end, blanks before nothing.
std::vector<std::pair<std::string, std::string>> WorstInputs() {
    const size_t n = 64 * 1024;
    auto fill = [n](std::string head, const std::string& unit, std::string tail = "") {
        while (head.size() + unit.size() + tail.size() <= n)
            head += unit;
        return head + tail;
    };
    return {
        {"location_lf_then_run", fill("Location: \n", "a")},
        {"location_blanks_no_end", fill("Location:", " ", "x")},
        {"location_blanks_lf_first", fill("Location: \r", " ")},
        {"location_repeated", fill("", "location: ")},
        {"cookie_repeated_lf", fill("", "Set-Cookie: \n")},
        {"cookie_tabs_then_lf", fill("Set-Cookie:", "\t", "\n")},
        {"charset_run", fill("charset=", "a")},
        {"charset_repeated", fill("", "charset=")},
        {"length_digits", fill("content-length: ", "7")},
        {"html_prefix_repeated", fill("", "<html")},
        {"html_end_prefix_repeated", fill("", "</html")},
        {"all_line_breaks", fill("", "\r\n")},
    };
}

void RegisterAll() {
    for (const Equivalent& e : kPatterns) {
        const std::string name = e.pszName;
        benchmark::RegisterBenchmark(("header/" + name + "/ours").c_str(), Ours, e,
                                     std::cref(HeaderBlock()));
        benchmark::RegisterBenchmark(("header/" + name + "/std_regex").c_str(), StdRegex, e,
                                     std::cref(HeaderBlock()));
        benchmark::RegisterBenchmark(("header/" + name + "/re2").c_str(), Re2, e,
                                     std::cref(HeaderBlock()));
    }
    for (const Equivalent& e : kPatterns) {
        const std::string name = e.pszName;
        benchmark::RegisterBenchmark(("body64k/" + name + "/ours").c_str(), Ours, e,
                                     std::cref(Body64K()));
        benchmark::RegisterBenchmark(("body64k/" + name + "/std_regex").c_str(), StdRegex, e,
                                     std::cref(Body64K()));
        benchmark::RegisterBenchmark(("body64k/" + name + "/re2").c_str(), Re2, e,
                                     std::cref(Body64K()));
    }
    // The end tag absent: the search must grow linearly with the body.
    static std::vector<std::string> s_bodies;
    for (size_t nSize : {size_t(16) << 10, size_t(256) << 10, size_t(4) << 20})
        s_bodies.push_back(HtmlBody(nSize, false));
    for (const std::string& body : s_bodies) {
        const std::string size = std::to_string(body.size() >> 10) + "k";
        benchmark::RegisterBenchmark(("no_end_tag/" + size + "/ours").c_str(), Ours, kPatterns[5],
                                     std::cref(body));
        benchmark::RegisterBenchmark(("no_end_tag/" + size + "/re2").c_str(), Re2, kPatterns[5],
                                     std::cref(body));
    }
    static std::vector<std::pair<std::string, std::string>> s_worst = WorstInputs();
    for (const auto& input : s_worst)
        for (const Equivalent& e : kPatterns)
            benchmark::RegisterBenchmark(("worst/" + input.first + "/" + e.pszName).c_str(), Ours,
                                         e, std::cref(input.second));
}

} // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
