// The CSV files of a version 2 control file: a header row of column names, then one row per
// entry; fields may be quoted ("a, b", with "" for a quote) and rows may carry columns the
// case does not use. Read by the version 2 reader of tarne-pst.
#pragma once

#include <string>
#include <vector>

#include "standard_problem.h"

namespace pst {

struct CsvTable {
  std::string file;
  std::vector<std::string> columns;  // lower case, without surrounding blanks
  std::vector<std::vector<std::string>> rows;
  std::vector<long> row_lines;  // line of each row's start

  // The index of the named column, or -1.
  int Column(const std::string& name) const;
  // Field of row r in the named column, or fallback when the column is missing or the field
  // empty; required columns are refused by RequireColumns first.
  std::string Field(std::size_t r, const std::string& name, const std::string& fallback = "") const;
  // Refuses a table that lacks one of the columns.
  void RequireColumns(const std::vector<std::string>& names) const;
  // The columns that none of names takes.
  std::vector<std::string> OtherColumns(const std::vector<std::string>& names) const;
};

// Reads the CSV file at path. A quote left open, or a row with more fields than the header,
// is refused with its line.
CsvTable ReadCsv(const std::string& path);

}  // namespace pst
