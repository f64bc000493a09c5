#pragma once
// Small HTML tables written as files, and the exact text their conversion gives.

#include <string>
#include <vector>

namespace tabrivo::test {

using TableRows = std::vector<std::vector<std::string>>;

// One table, one <tr> per row and one <td> per cell (cell texts are plain words).
inline std::string tableHtml(const TableRows& rows) {
    std::string html = "<html><body><table>";
    for (const auto& row : rows) {
        html += "<tr>";
        for (const std::string& cell : row) {
            html += "<td>" + cell + "</td>";
        }
        html += "</tr>";
    }
    return html + "</table></body></html>";
}

// The output text of a table: "{" CR LF, per row TAB "{" CR LF, per cell
// TAB quote TEXT quote, then ", " while the cell's index is before the last
// index of the first row, CR LF; TAB "}" CR LF; and a closing "}".
inline std::string expectedOutput(const TableRows& rows) {
    std::string text = "{\r\n";
    const long firstRowCells = rows.empty() ? 0 : static_cast<long>(rows.front().size());
    for (const auto& row : rows) {
        text += "\t{\r\n";
        for (std::size_t i = 0; i < row.size(); ++i) {
            text += "\t\"" + row[i] + "\"";
            if (static_cast<long>(i) < firstRowCells - 1) {
                text += ", ";
            }
            text += "\r\n";
        }
        text += "\t}\r\n";
    }
    return text + "}";
}

}  // namespace tabrivo::test
