#include "bench/report_table.h"

#include <cstdio>

namespace quorvel::bench {

namespace {

std::vector<ReportRow>& judged() {
  static std::vector<ReportRow> rows;
  return rows;
}

std::string format(const char* pattern, double value) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

const char* verdict(const ReportRow& row) {
  if (row.target.kind == Target::Kind::kNone || !row.note.empty() || row.ratio < 0) return "";
  return row.target.met(row.ratio) ? "pass" : "MISS";
}

}  // namespace

bool Target::met(double ratio) const {
  switch (kind) {
    case Kind::kAtMost:
      return ratio <= value;
    case Kind::kAtLeast:
      return ratio >= value;
    case Kind::kNone:
      break;
  }
  return true;
}

std::string Target::text() const {
  switch (kind) {
    case Kind::kAtMost:
      return format("<=%.2f", value);
    case Kind::kAtLeast:
      return format(">=%.2f", value);
    case Kind::kNone:
      break;
  }
  return "";
}

ReportTable::ReportTable(std::string title, std::string ratio_meaning, std::string time_unit)
    : title_(std::move(title)),
      ratio_meaning_(std::move(ratio_meaning)),
      time_unit_(std::move(time_unit)) {}

void ReportTable::add(const ReportRow& row) {
  rows_.push_back(row);
  if (row.target.kind != Target::Kind::kNone) judged().push_back(row);
}

void ReportTable::print() const {
  const bool per_frame = time_unit_ == "ms";
  const double scale = per_frame ? 1e3 : 1e6;
  std::printf("\n== %s\n   ratio = %s\n", title_.c_str(), ratio_meaning_.c_str());
  std::printf("%-42s %-19s %-5s %10s %9s %9s %7s %8s %7s %s\n", "name", "frame", "cache",
              (time_unit_ + (per_frame ? "/frame" : "/trip")).c_str(), per_frame ? "frames/s" : "",
              per_frame ? "MB/s" : "", "size", "ratio", "target", "result");
  for (const ReportRow& row : rows_) {
    std::printf("%-42s %-19s %-5s ", row.name.c_str(), row.frame.c_str(), row.cache.c_str());
    if (!row.note.empty()) {
      std::printf("%s\n", row.note.c_str());
      continue;
    }
    const std::string frames_per_second =
        per_frame && row.seconds > 0 ? format("%.1f", 1.0 / row.seconds) : "";
    const std::string megabytes = per_frame && row.bytes > 0 && row.seconds > 0
                                      ? format("%.0f", row.bytes / row.seconds / 1e6)
                                      : "";
    const std::string size = row.size >= 0 ? format("%.1f%%", row.size * 100) : "";
    const std::string ratio = row.ratio >= 0 ? format("%.3f", row.ratio) : "anchor";
    const std::string time = row.seconds > 0 ? format("%.3f", row.seconds * scale) : "";
    std::printf("%10s %9s %9s %7s %8s %7s %-4s %s\n", time.c_str(), frames_per_second.c_str(),
                megabytes.c_str(), size.c_str(), ratio.c_str(), row.target.text().c_str(),
                verdict(row), row.detail.c_str());
  }
  std::fflush(stdout);
}

void ReportTable::record(const ReportRow& row) {
  judged().push_back(row);
}

const std::vector<ReportRow>& ReportTable::judged_rows() {
  return judged();
}

void ReportTable::print_summary() {
  int missed = 0;
  int judged_count = 0;
  std::printf("\n== Targets\n");
  for (const ReportRow& row : judged()) {
    const char* result = verdict(row);
    if (*result == '\0') {
      std::printf("  %-8s %-34s %-19s %s\n", "n/a", row.name.c_str(), row.frame.c_str(),
                  row.note.c_str());
      continue;
    }
    ++judged_count;
    if (result[0] == 'M') ++missed;
    std::printf("  %-8s %-34s %-19s ratio %.3f, target %s\n", result, row.name.c_str(),
                row.frame.c_str(), row.ratio, row.target.text().c_str());
  }
  std::printf("  %d of %d judged targets met\n", judged_count - missed, judged_count);
}

}  // namespace quorvel::bench
