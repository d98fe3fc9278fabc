#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/cli_commands.h"
#include "core/charset.h"
#include "core/gbk.h"
#include "core/program_state.h"
#include "engines/engine_set.h"
#include "engines/web_source.h"
#include "net/http_client.h"

namespace {

struct TCliRedirect {
  std::string Target;
};

struct TEnginePageArgs {
  std::string engine;
  std::string file;
  std::optional<std::string> known;
  std::optional<int32_t> offset;
  std::optional<int32_t> pages;
  std::optional<bool> needTotal;
  std::optional<int32_t> total;
  std::optional<std::string> url;
  bool resolve = false;
};

std::optional<int32_t> ParseInt32(std::string_view text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// ENGINE and FILE in that order, each option at most once and always with a value.
std::optional<TEnginePageArgs> ParseArgs(const TCliArgs& args) {
  TEnginePageArgs parsed;
  int positional = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--resolve") {
      if (parsed.resolve) return std::nullopt;
      parsed.resolve = true;
      continue;
    }
    if (a.starts_with("--")) {
      if (i + 1 >= args.size()) return std::nullopt;
      const std::string& value = args[++i];
      if (a == "--url") {
        if (parsed.url || value.empty()) return std::nullopt;
        parsed.url = value;
      } else if (a == "--known") {
        if (parsed.known || value.empty()) return std::nullopt;
        parsed.known = value;
      } else if (a == "--need-total") {
        if (parsed.needTotal || (value != "0" && value != "1")) return std::nullopt;
        parsed.needTotal = value == "1";
      } else {
        std::optional<int32_t>* target = a == "--offset"  ? &parsed.offset
                                         : a == "--pages" ? &parsed.pages
                                         : a == "--total" ? &parsed.total
                                                          : nullptr;
        if (!target || target->has_value()) return std::nullopt;
        *target = ParseInt32(value);
        if (!target->has_value()) return std::nullopt;
      }
    } else if (a.empty() || positional == 2) {
      return std::nullopt;
    } else {
      (positional++ == 0 ? parsed.engine : parsed.file) = a;
    }
  }
  if (positional != 2) return std::nullopt;
  return parsed;
}

// One address per line; a UTF-8 file is taken to GBK like everything else typed by a user.
void FillKnownURLs(TProgramState& state, std::string_view text) {
  const std::string converted = gbk::IsValidUtf8(text) ? gbk::FromUtf8(text) : std::string(text);
  std::string_view rest = converted;
  while (!rest.empty()) {
    const std::size_t eol = rest.find('\n');
    const std::string_view line = rest.substr(0, eol);
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (!gbk::IsBlank(line)) state.AppendURL(gbk::Trim(line), {}, {});
  }
}

std::string ItemLines(const TProgramState& state, std::size_t firstNew) {
  std::string out;
  for (std::size_t i = firstNew; i < state.URLCount(); ++i) {
    const TSearchURLResult entry = state.URLAt(i);
    out += "ITEM\t" + CliOutputField(entry.URL) + "\t" + CliOutputField(entry.Title) + "\t" +
           CliOutputField(entry.Description) + "\n";
  }
  return out;
}

// A page of today's sources: its items, the tracking links left unresolved (resolved over
// the network only with --resolve), and "blocked" for a verification page.
int PrintWebSourcePage(TWebSourceObject& web, const std::string& page, const TEnginePageArgs& args,
                       TProgramState& state, std::size_t firstNew) {
  THttpClient client;
  if (args.resolve) {
    client.SetRedirectHandler([](const std::string& target) { throw TCliRedirect{target}; });
    web.SetRedirectReader([&client](const std::string& link) -> std::string {
      try {
        client.Get(link);
      } catch (const TCliRedirect& r) {
        return r.Target;
      }
      return {};
    });
  }
  TSearchResponse response;
  response.Ok = true;
  response.Status = 200;
  response.Body = page;
  response.Url = args.url.value_or(web.Base() + "/");
  web.ReadResponse(response);

  std::string out;
  const TSourceState st = web.State.load();
  if (st == TSourceState::Blocked) out += "blocked\n";
  if (st == TSourceState::Failed) out += "failed\n";
  if (!web.LastProblem().empty())
    std::fprintf(stderr, "veltra-cli: %s\n", web.LastProblem().c_str());
  out += "OFFSET\t" + std::to_string(web.ResultOffset) + "\n";
  out += "PAGES\t" + std::to_string(web.PageCount) + "\n";
  out += std::string("FINISHED\t") + (web.Finished ? "1" : "0") + "\n";
  out += ItemLines(state, firstNew);
  for (const auto& link : web.Unresolved()) out += "UNRESOLVED\t" + CliOutputField(link) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

// Reads one saved result page as the named engine would and prints its position and the
// entries it adds to the URL list.
int CliEnginePage(const TCliArgs& args) {
  const std::optional<TEnginePageArgs> parsed = ParseArgs(args);
  if (!parsed) return CliUsage();

  TEngineSet engines;
  // The name a task file stores: "baidu" for the classic six, "Bing" for the others.
  TSearchEngineObject* engine = EngineByName(engines, parsed->engine);
  if (!engine) {
    std::fprintf(stderr, "veltra-cli: unknown source %s (veltra-cli sources lists them)\n",
                 parsed->engine.c_str());
    return 1;
  }

  std::string error;
  const std::optional<std::string> page = CliReadBytes(parsed->file, error);
  if (!page) {
    std::fprintf(stderr, "veltra-cli: cannot read %s: %s\n", parsed->file.c_str(), error.c_str());
    return 1;
  }

  TProgramState state;
  if (parsed->known) {
    const std::optional<std::string> known = CliReadBytes(*parsed->known, error);
    if (!known) {
      std::fprintf(stderr, "veltra-cli: cannot read %s: %s\n", parsed->known->c_str(),
                   error.c_str());
      return 1;
    }
    FillKnownURLs(state, *known);
  }
  const std::size_t firstNew = state.URLCount();

  engines.SetProgramState(&state);
  engine->ResetSearch();
  if (parsed->offset || parsed->pages) {
    engine->SetPosition(parsed->offset.value_or(engine->ResultOffset),
                        parsed->pages.value_or(engine->PageCount));
  }
  if (parsed->needTotal && !*parsed->needTotal) {
    // Past the first page: the count is known and the engine is paging.
    engine->NeedTotal = false;
    engine->Paging = true;
  }
  if (parsed->total) engine->TotalCount = *parsed->total;

  auto* web = dynamic_cast<TWebSourceObject*>(engine);
  if (web) return PrintWebSourcePage(*web, *page, *parsed, state, firstNew);
  engine->ParsePage(PageToGbk(*page));

  std::string out;
  out += "TOTAL\t" + std::to_string(engine->TotalCount) + "\n";
  out += "OFFSET\t" + std::to_string(engine->ResultOffset) + "\n";
  out += "PAGES\t" + std::to_string(engine->PageCount) + "\n";
  out += std::string("FINISHED\t") + (engine->Finished ? "1" : "0") + "\n";
  out += ItemLines(state, firstNew);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
