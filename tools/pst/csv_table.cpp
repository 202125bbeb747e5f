#include "csv_table.h"

#include <algorithm>

#include "pst_text.h"

namespace pst {

namespace {

// Splits text into rows of fields; blank rows are dropped. Fields are trimmed unless quoted.
void SplitRows(const std::string& path, const std::string& text,
               std::vector<std::vector<std::string>>* rows, std::vector<long>* lines) {
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, was_quoted = false, any = false;
  long line = 1, row_line = 1, quote_line = 0;
  auto end_field = [&]() {
    row.push_back(was_quoted ? field : Trim(field));
    any = any || !Trim(field).empty() || was_quoted;
    field.clear();
    was_quoted = false;
  };
  auto end_row = [&]() {
    end_field();
    if (any) {
      rows->push_back(row);
      lines->push_back(row_line);
    }
    row.clear();
    any = false;
    row_line = line + 1;
  };
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (quoted) {
      if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
        field += '"';
        ++k;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"' && Trim(field).empty()) {
      field.clear();
      quoted = was_quoted = true;
      quote_line = line;
    } else if (c == ',') {
      end_field();
    } else if (c == '\n') {
      end_row();
      ++line;
    } else if (c != '\r') {
      field += c;
    }
  }
  if (quoted) Fail({path, quote_line}, "a quoted field is not closed");
  end_row();
}

}  // namespace

int CsvTable::Column(const std::string& name) const {
  const auto it = std::find(columns.begin(), columns.end(), name);
  return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
}

std::string CsvTable::Field(std::size_t r, const std::string& name,
                            const std::string& fallback) const {
  const int column = Column(name);
  if (column < 0 || static_cast<std::size_t>(column) >= rows[r].size()) return fallback;
  const std::string& value = rows[r][static_cast<std::size_t>(column)];
  return value.empty() ? fallback : value;
}

void CsvTable::RequireColumns(const std::vector<std::string>& names) const {
  for (const std::string& name : names) {
    if (Column(name) < 0) Fail({file, 1}, "the header row has no column '" + name + "'");
  }
}

std::vector<std::string> CsvTable::OtherColumns(const std::vector<std::string>& names) const {
  std::vector<std::string> others;
  for (const std::string& column : columns) {
    if (std::find(names.begin(), names.end(), column) == names.end()) others.push_back(column);
  }
  return others;
}

CsvTable ReadCsv(const std::string& path) {
  CsvTable table;
  table.file = path;
  std::vector<std::vector<std::string>> rows;
  std::vector<long> lines;
  SplitRows(path, ReadWholeText(path), &rows, &lines);
  if (rows.empty()) Fail({path, 0}, "the file has no header row");
  for (const std::string& name : rows[0]) table.columns.push_back(Lower(Trim(name)));
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (rows[r].size() > table.columns.size()) {
      Fail({path, lines[r]}, "the row has " + std::to_string(rows[r].size()) +
                                 " fields but the header names " +
                                 std::to_string(table.columns.size()) + " columns");
    }
    table.rows.push_back(rows[r]);
    table.row_lines.push_back(lines[r]);
  }
  return table;
}

}  // namespace pst
