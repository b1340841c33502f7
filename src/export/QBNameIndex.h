// Names of a QuickBooks list looked up the way QuickBooks looks them up when
// it adds a transaction: without regard to letter case or to blanks around
// the name. The exports compare and send what this finds, so a name typed in
// another spelling is the same account to them as it is to QuickBooks.
#pragma once

#include <QHash>
#include <QString>

class TQBNameIndex {
public:
    // Adds a name of the list with what it stands for (its own spelling, a
    // list id). Add in QuickBooks' order: the first of two variants wins.
    void Add(const QString& name, const QString& value);
    // The value of the name; an exact match wins over a case variant. Null
    // when the list lacks the name.
    QString Find(const QString& name) const;

    // The key two names share when QuickBooks takes them for one.
    static QString Key(const QString& name);

private:
    QHash<QString, QString> m_exact;
    QHash<QString, QString> m_folded;
};

// Every full name of a list (accounts, classes, customers) standing for
// itself, in QuickBooks' spelling.
template <typename List> TQBNameIndex QBFullNameIndex(const List& list) {
    TQBNameIndex index;
    for (const auto& element : list)
        if (element.FullName.IsSet())
            index.Add(element.FullName.GetValue(), element.FullName.GetValue());
    return index;
}
