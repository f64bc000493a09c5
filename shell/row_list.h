#pragma once
// The rows of the file list as the shell's commands see them.

#include <QString>

namespace tabrivo {

class RowList {
public:
    virtual ~RowList() = default;
    virtual int count() const = 0;
    virtual QString rowText(int row) const = 0;  // 1-based
    virtual void append(const QString& path) = 0;
};

}  // namespace tabrivo
