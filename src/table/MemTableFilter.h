// Filter expressions of the in-memory table, in the form the filter dialog
// writes: 0=0 AND NAME like '*SMITH*' AND CO_NBR = '12', with not, or,
// parentheses, Upper() and Lower(). The expression is parsed once into a
// tree; values in it are data, compared with field values, never run.
#pragma once

#include "table/MemTable.h"

#include <QVariant>
#include <memory>
#include <vector>

class TMemFilter {
public:
    // Throws ETableError for text that does not parse, an unknown field or a
    // value that does not convert to its field's kind.
    TMemFilter(const QString& expression, const TMemTable& table);
    ~TMemFilter();

    bool Matches(const std::vector<QVariant>& record, bool caseInsensitive) const;

    struct TNode;

private:
    std::unique_ptr<TNode> m_root;
};

// "*" and "%" match any run of characters.
bool LikeMatch(QStringView text, QStringView pattern, Qt::CaseSensitivity cs);
