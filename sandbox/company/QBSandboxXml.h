// The sandbox company's view of qbXML: a small element tree, the request
// grammar of qbXML 7.0 with its element order, and the response writer.
// Kept apart from the program's own writer so that an order mistake there
// fails here, as it would in QuickBooks.
#pragma once

#include <QHash>
#include <QString>
#include <vector>

struct TSbNode {
    QString Name;
    QString Text;
    QHash<QString, QString> Attributes;
    std::vector<TSbNode> Children;

    const TSbNode* Child(QStringView name) const;
    QString ChildText(QStringView name) const; // empty when absent
    bool Has(QStringView name) const { return Child(name) != nullptr; }
};

struct TSbMessageSet {
    QString Version; // from <?qbxml version="..."?>
    bool StopOnError = true;
    QString NewMessageSetID; // error recovery: keep the answer under this ID
    QString OldMessageSetID; // a status request for the answer kept under this ID
    TSbNode Requests;        // QBXMLMsgsRq
};

// Parses and validates a request message set: well-formed XML, the qbxml
// version instruction, onError, known requests whose children follow the
// reference order, and booleans, integers and enumerations of the right form.
// Returns false with a reason otherwise (QuickBooks rejects such a set whole).
bool ParseSandboxMessageSet(const QString& text, TSbMessageSet& set, QString& reason);

// Validates one element's children against the grammar (for tests).
bool ValidateSandboxElement(const TSbNode& node, QString& reason);

// The value checks QuickBooks answers with a status rather than a rejection:
// 3020 date, 3040 amount, 3070 string too long. Returns 0 when all are fine.
int CheckSandboxValues(const TSbNode& request, QString& message);

// Builds response text.
class TSbXmlOut {
public:
    void Open(const QString& name, const QString& attributes = QString());
    void Close(const QString& name);
    void Leaf(const QString& name, const QString& value);
    void LeafIf(const QString& name, const QString& value) {
        if (!value.isEmpty())
            Leaf(name, value);
    }
    void Ref(const QString& name, const QString& listID, const QString& fullName);
    void Raw(const QString& text) { m_text += text; }
    QString Text() const { return m_text; }
    static QString Escape(const QString& text);
    static QString Attr(const QString& name, const QString& value) {
        return u' ' + name + u"=\"" + Escape(value) + u'"';
    }

private:
    QString m_text;
};
