// ReportTable: the compact table each section prints: name, frame, cache, ms/frame, MB/s,
// size, ratio to the anchor measured in the same run, target, and pass/MISS. Rows with a
// target are also collected for the summary at the end of the run.
#ifndef QUORVEL_BENCH_REPORT_TABLE_H_
#define QUORVEL_BENCH_REPORT_TABLE_H_

#include <string>
#include <utility>
#include <vector>

namespace quorvel::bench {

struct Target {
  enum class Kind { kNone, kAtMost, kAtLeast };
  Kind kind = Kind::kNone;
  double value = 0.0;

  static Target none() { return {}; }
  static Target at_most(double v) { return {Kind::kAtMost, v}; }
  static Target at_least(double v) { return {Kind::kAtLeast, v}; }
  bool met(double ratio) const;
  std::string text() const;
};

struct ReportRow {
  ReportRow(std::string row_name, std::string frame_name, std::string cache_name = "",
            double row_seconds = 0.0, double row_bytes = 0.0)
      : name(std::move(row_name)),
        frame(std::move(frame_name)),
        cache(std::move(cache_name)),
        seconds(row_seconds),
        bytes(row_bytes) {}
  ReportRow with_ratio(double value, Target goal) const {
    ReportRow row = *this;
    row.ratio = value;
    row.target = goal;
    return row;
  }
  ReportRow with_note(std::string text) const {
    ReportRow row = *this;
    row.note = std::move(text);
    return row;
  }

  std::string name;
  std::string frame;
  std::string cache;     // "cold", "hot" or "" where it does not apply
  double seconds = 0.0;  // per frame (or per round trip); <= 0 when not measured
  double bytes = 0.0;    // frame bytes per operation, for MB/s; 0 prints no MB/s
  double size = -1.0;    // output size as a fraction of the frame; < 0 prints none
  double ratio = -1.0;   // < 0 marks the anchor itself
  Target target;
  std::string note;    // replaces the figures, e.g. "n/a (not built)"
  std::string detail;  // printed after the result, e.g. a percentile
};

class ReportTable {
 public:
  // ratio_meaning says how the ratio column is formed, e.g. "time / memcpy time".
  ReportTable(std::string title, std::string ratio_meaning, std::string time_unit = "ms");

  void add(const ReportRow& row);
  void print() const;

  // Adds a judged row to the summary without a table of its own.
  static void record(const ReportRow& row);

  // The rows with a target, across every table of the run.
  static const std::vector<ReportRow>& judged_rows();
  static void print_summary();

 private:
  std::string title_;
  std::string ratio_meaning_;
  std::string time_unit_;
  std::vector<ReportRow> rows_;
};

}  // namespace quorvel::bench

#endif  // QUORVEL_BENCH_REPORT_TABLE_H_
