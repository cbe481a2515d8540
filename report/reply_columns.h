// Titles for the status reply's columns in the statistics log. A reply value that holds a comma
// ("6,3" for a target and a minimum margin) splits into two data columns under one header label,
// so data lines can have more columns than the header; the titles follow the data columns.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct ColumnTitles {
    std::vector<std::string> titles;  // one per data column after the five changes
    std::string note;  // how the header was matched to the data, when it took more than position
};

// `labels`: the header's columns after the five changes; `data_columns`: how many a data line
// has there. Extra data columns go to labels that name two values ("Target/min margin"), else
// the labels are matched from the line's end, where the last columns are.
ColumnTitles column_titles(const std::vector<std::string>& labels, std::size_t data_columns);
