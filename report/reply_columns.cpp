// Titles for the status reply's columns in the statistics log.
#include "report/reply_columns.h"

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

ColumnTitles column_titles(const std::vector<std::string>& labels, std::size_t data_columns) {
    ColumnTitles result;
    std::vector<std::string> names;
    for (const std::string& label : labels) names.push_back(trimmed(label));
    if (data_columns <= names.size()) {
        names.resize(data_columns);
        result.titles = names;
        return result;
    }
    std::size_t extra = data_columns - names.size();
    std::size_t two_value_labels = 0;
    for (const std::string& name : names) two_value_labels += name.find('/') != std::string::npos;
    if (two_value_labels >= extra) {
        for (const std::string& name : names) {
            const bool splits = extra > 0 && name.find('/') != std::string::npos;
            result.titles.push_back(splits ? name + " (1)" : name);
            if (splits) {
                result.titles.push_back(name + " (2)");
                result.note += (result.note.empty() ? "" : ", ") + ("\"" + name + "\"");
                --extra;
            }
        }
        result.note = "a value holds a comma: read as two values of " + result.note;
        return result;
    }
    for (std::size_t k = 0; k < extra; ++k) result.titles.push_back("");
    result.titles.insert(result.titles.end(), names.begin(), names.end());
    result.note = "a value holds a comma: the header's labels are matched from the line's end";
    return result;
}
