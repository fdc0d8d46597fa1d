// Text from outside in every format the report is written in: a report whose every string field
// holds markup, a newline and a gnuplot command, an escape sequence, a pipe, a backtick and a
// leading '=' is read back by a strict reader of each format, beside the same report with plain
// text in those fields.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/unit/fixed_report.hpp"
#include "tools/analysis/judged.hpp"
#include "tools/report/chart.hpp"
#include "tools/report/console.hpp"
#include "tools/report/csv.hpp"
#include "tools/report/effect_charts.hpp"
#include "tools/report/formats.hpp"
#include "tools/report/text_formats.hpp"

using namespace omp_sums;

namespace {

const std::string kPayload =
    "=<script>alert(1)</script><img src=x onerror=alert(2)>\nsystem('touch /tmp/pwned') \x1b[2J|`\\";

// The report with `text` in every string field that comes from outside: the host, the processor,
// the caller's settings, the build's facts, each --env value, a run's problem and standard error.
report report_holding(const std::string& text) {
  report r = fixed_report(7);
  r.facts.host = text;
  r.facts.processor = text;
  r.facts.runtime_settings = {"OMP_WAIT_POLICY=" + text};
  r.facts.builds[0] = {text, text, text, text, text};
  for (std::size_t k = 0; k < r.plan.settings.size(); ++k) r.plan.settings[k].env[0].second = text + std::to_string(k);
  for (run_record& record : r.records) record.standard_error = text;
  r.records.back().reading.problem = text;
  analyse(r);
  return r;
}

std::size_t count_of(const std::string& text, char c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

// The page's own markup, and no more: every character that HTML reads as markup, counted.
void expect_same_markup(const std::string& page, const std::string& plain_page, const char* what) {
  for (char c : {'<', '>', '"', '\''}) EXPECT_EQ(count_of(page, c), count_of(plain_page, c)) << what << ": " << c;
  EXPECT_EQ(page.find('\x1b'), std::string::npos) << what;
}

// Each line of a markdown text: no markup, every backtick and pipe escaped, and table rows with
// their header's count of cells.
void expect_literal_markdown(const std::string& text, const std::string& plain_text) {
  EXPECT_EQ(count_of(text, '\n'), count_of(plain_text, '\n'));
  std::size_t header_cells = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const bool written_from_data = line.rfind("| ", 0) == 0 || line.rfind("- ", 0) == 0;
    EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
    if (written_from_data) {
      EXPECT_EQ(line.find_first_of("<>"), std::string::npos) << line;
    }
    std::size_t cells = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
      if (line[k] == '\\') {
        ++k;  // an escaped character, literal
      } else if (line[k] == '`') {
        ADD_FAILURE() << "a backtick opens code in: " << line;
      } else if (line[k] == '|') {
        ++cells;
      }
    }
    if (line.rfind("| ", 0) == 0 && header_cells == 0) header_cells = cells;
    if (line.empty()) header_cells = 0;
    if (header_cells > 0) {
      EXPECT_EQ(cells, header_cells) << line;
    }
  }
}

// gnuplot reads its script a line a command: the payload's newline must not start one, and each
// quote opened on a line is closed on it.
void expect_gnuplot_lines(const std::string& script, const std::string& plain_script) {
  EXPECT_EQ(count_of(script, '\n'), count_of(plain_script, '\n'));
  std::size_t at = 0;
  while (at < script.size()) {
    const std::size_t end = script.find('\n', at);
    std::string line = script.substr(at, end - at);
    at = end + 1;
    EXPECT_NE(line.rfind("system(", 0), 0u) << line;
    for (std::size_t doubled; (doubled = line.find("''")) != std::string::npos;) line.erase(doubled, 2);
    EXPECT_EQ(count_of(line, '\'') % 2, 0u) << line;
  }
}

// RFC 4180 cells, strictly: a record per line but inside quotes.
std::vector<std::vector<std::string>> csv_records(const std::string& text) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (quoted && c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
      records.back().back() += '"';
      ++k;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      records.back().emplace_back();
    } else if (!quoted && c == '\n') {
      records.emplace_back(1);
    } else {
      records.back().back() += c;
    }
  }
  records.pop_back();  // after the last newline
  return records;
}

// A document in a format, its charts left undrawn: gnuplot's own escaping is not this test's.
template <typename Document>
std::string as(output_format format, const Document& document) {
  writing how{"chart.svg", nullptr, false, {}};
  return written(format, document, how);
}

// No control byte but the line breaks of the console's own lines: the payload's line break
// shown, never starting a line of its own.
void expect_plain_console(const std::string& text) {
  EXPECT_EQ(text.find("\nsystem("), std::string::npos) << text;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 ? byte != 0x7f : c == '\n') << "control byte " << static_cast<int>(byte);
  }
}

TEST(Escaping, EveryFormatKeepsOutsideTextLiteral) {
  const report r = report_holding(kPayload);
  const report plain = report_holding(std::string(kPayload.size(), 'p'));  // as long: cut alike on the page

  expect_same_markup(as(output_format::html, r), as(output_format::html, plain), "run page");
  expect_literal_markdown(as(output_format::markdown, r), as(output_format::markdown, plain));
  expect_plain_console(console_header(r) + as_console(r));

  const std::vector<effect_chart> charts = effect_charts(r.plan, r.measured, r.machine);
  const std::vector<effect_chart> plain_charts = effect_charts(plain.plan, plain.measured, plain.machine);
  ASSERT_EQ(charts.size(), plain_charts.size());
  for (std::size_t k = 0; k < charts.size(); ++k) expect_gnuplot_lines(charts[k].script, plain_charts[k].script);
  EXPECT_EQ(count_of(chart_data(r.plan, r.measured), '\n'), count_of(chart_data(plain.plan, plain.measured), '\n'));
  EXPECT_EQ(count_of(chart_data(r.plan, r.measured), '"') % 2, 0u);

  std::string csv = csv_header();
  for (const run_record& record : r.records) csv += csv_rows(r.plan, record);
  for (const std::vector<std::string>& record : csv_records(csv)) {
    ASSERT_EQ(record.size(), 10u) << record[0];
    for (const std::string& cell : record) {
      EXPECT_TRUE(cell.empty() || std::string("=+-@").find(cell[0]) == std::string::npos) << cell;
    }
  }

  // JSON escapes everything itself: the text comes back whole.
  const nlohmann::json saved = nlohmann::json::parse(as(output_format::json, r));
  EXPECT_EQ(saved["host"], kPayload);

  const comparison compared = compare_reports(kPayload, kPayload + "2", r, r);
  const comparison plain_compared = compare_reports("plain", "plain2", plain, plain);
  expect_same_markup(as(output_format::html, compared), as(output_format::html, plain_compared), "comparison page");
  expect_literal_markdown(as(output_format::markdown, compared), as(output_format::markdown, plain_compared));
  expect_plain_console(as_console(compared));
  EXPECT_EQ(nlohmann::json::parse(as(output_format::json, compared))["compare"]["base"], kPayload);

  const merged_runs merged = merge_runs({kPayload, kPayload + "/b"}, {r, r});
  const merged_runs plain_merged = merge_runs({"plain", "plain/b"}, {plain, plain});
  expect_same_markup(as(output_format::html, merged), as(output_format::html, plain_merged), "merge page");
  expect_literal_markdown(as(output_format::markdown, merged), as(output_format::markdown, plain_merged));
  expect_plain_console(as_console(merged));
}

TEST(Escaping, EachEscaperOnItsOwn) {
  EXPECT_EQ(html_escaped("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(terminal_text("a\x1b[31mb\tc\nd\x7f"), "a\\x1b[31mb\tc\nd\\x7f");
  EXPECT_EQ(markdown_text("a|b`c\\d<e>\nf"), "a\\|b\\`c\\\\d&lt;e&gt;\\x0af");
  EXPECT_EQ(gnuplot_string("it's\nplot"), "'it''s\\x0aplot'");
  EXPECT_EQ(csv_cell("=1+1"), "'=1+1");
  EXPECT_EQ(csv_cell("-5.5"), "-5.5");
  EXPECT_EQ(csv_cell("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(csv_cell("a,\"b\""), "\"a,\"\"b\"\"\"");
  // Bytes that are not UTF-8 become U+FFFD, an overlong form and a surrogate among them.
  EXPECT_EQ(valid_utf8("a\xff"
                       "b\xc0\xaf"
                       "c\xed\xa0\x80"
                       "d\xe2\x82\xac"),
            "a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\u20AC");
}

}  // namespace
