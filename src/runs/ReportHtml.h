// The pieces of the HTML documents reports are shown and printed as: text
// from outside (reports, names, messages, paths) always goes through
// HtmlText, so none of it is ever read as markup; tables with a header row
// and right-aligned number columns.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Escaped, control characters shown as "\x07", line breaks (CR LF or LF)
// as "<br>".
QString HtmlText(const QString& text);

// "<!DOCTYPE html>…<body>" with the reports' style, and a first heading.
QString HtmlDocumentStart(const QString& title);
QString HtmlDocumentEnd();

// A two-column table of labels and values; empty values are left out.
class THtmlFields {
public:
    THtmlFields& Add(const QString& label, const QString& value);
    QString Html() const;

private:
    QString m_rows;
};

class THtmlTable {
public:
    // Right-aligned columns hold numbers and money.
    THtmlTable& Column(const QString& title, bool right = false);
    // One text per column; cssClass marks the row ("attention").
    THtmlTable& Row(const QStringList& cells, const QString& cssClass = QString());
    bool IsEmpty() const { return m_rows.isEmpty(); }
    QString Html() const;

private:
    QStringList m_titles;
    QList<bool> m_right;
    QString m_rows;
};
