#include "payroll/xmlrpc/XmlRpcClient.h"

#include <QSet>
#include <QXmlStreamReader>
#include <vector>

namespace {

enum class TTag {
    None,
    Value,
    Struct,
    Array,
    Name,
    String,
    Int,
    Double,
    DateTime,
    Base64,
    Boolean,
    Other
};

TTag ClassifyTag(QStringView name) {
    name = name.trimmed();
    auto is = [name](const char* tag) {
        return name.compare(QLatin1String(tag), Qt::CaseInsensitive) == 0;
    };
    switch (name.size()) {
    case 2:
        return is("i4") ? TTag::Int : TTag::Other;
    case 3:
        return is("int") ? TTag::Int : TTag::Other;
    case 4:
        return is("name") ? TTag::Name : TTag::Other;
    case 5:
        return is("value") ? TTag::Value : is("array") ? TTag::Array : TTag::Other;
    case 6:
        return is("struct")   ? TTag::Struct
               : is("string") ? TTag::String
               : is("double") ? TTag::Double
               : is("base64") ? TTag::Base64
                              : TTag::Other;
    case 7:
        return is("boolean") ? TTag::Boolean : TTag::Other;
    case 16:
        return is("dateTime.iso8601") ? TTag::DateTime : TTag::Other;
    default:
        return TTag::Other;
    }
}

TRpcDataType KindOf(TTag tag) {
    switch (tag) {
    case TTag::String:
        return rdtString;
    case TTag::Int:
        return rdtInteger;
    case TTag::Double:
        return rdtFloat;
    case TTag::DateTime:
        return rdtDateTime;
    case TTag::Base64:
        return rdtBase64;
    case TTag::Boolean:
        return rdtBoolean;
    default:
        return rdtNone;
    }
}

struct TContainer {
    IRpcStructPtr Struct; // exactly one of the two is set
    IRpcArrayPtr Array;
};

// One parse: the container and name stacks never outlive it, so containers
// left open by a malformed answer cannot reach the next result.
class TResponseScan {
public:
    explicit TResponseScan(IRpcResultPtr result) : m_result(std::move(result)) {}

    // False when the text is not acceptable XML.
    bool Run(const QByteArray& text);

private:
    void StartTag(QStringView name);
    void EndTag(QStringView name);
    void Text(QString text);
    void FlushText();
    void StoreText(TRpcDataType kind, const QString& text);
    void CloseContainer(const TContainer& container);
    QString PopName();
    QString Intern(QStringView name);

    IRpcResultPtr m_result;
    std::vector<TContainer> m_containers;
    std::vector<QString> m_names;
    TTag m_lastTag = TTag::None;
    bool m_inValue = false;
    QString m_pending;
    QString m_text;
    bool m_haveText = false;
    bool m_textSinceStart = false;
    QSet<QString> m_internedNames;
};

bool TResponseScan::Run(const QByteArray& text) {
    QXmlStreamReader reader(text);
    // Entities can only be declared in a DTD, and any DTD is refused below;
    // the limit is a second fence.
    reader.setEntityExpansionLimit(0);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > TRpcClientParser::kMaxElementDepth)
                return false;
            FlushText();
            StartTag(reader.name());
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            FlushText();
            EndTag(reader.name());
            break;
        case QXmlStreamReader::Characters:
            // Character data may arrive in pieces (around references, CDATA).
            m_text += reader.text();
            m_haveText = true;
            break;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return false;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            FlushText();
            break;
        default:
            break;
        }
    }
    return !reader.hasError();
}

void TResponseScan::FlushText() {
    if (!m_haveText)
        return;
    QString text = std::move(m_text);
    m_text = QString();
    m_haveText = false;
    Text(std::move(text));
}

QString TResponseScan::Intern(QStringView name) {
    // Rows repeat the same column keys; share one copy of each.
    QString text = name.toString();
    const auto found = m_internedNames.constFind(text);
    if (found != m_internedNames.constEnd())
        return *found;
    if (m_internedNames.size() < 4096)
        m_internedNames.insert(text);
    return text;
}

void TResponseScan::StartTag(QStringView name) {
    const TTag tag = ClassifyTag(name);
    m_textSinceStart = false;
    if (tag != TTag::Value || m_inValue) {
        m_inValue = false;
        m_pending.clear();
    }
    switch (tag) {
    case TTag::Struct:
        m_containers.push_back({std::make_shared<TRpcStruct>(), nullptr});
        break;
    case TTag::Array:
        m_containers.push_back({nullptr, std::make_shared<TRpcArray>()});
        break;
    case TTag::Value:
        m_inValue = true;
        m_pending.clear();
        break;
    default:
        break;
    }
    m_lastTag = tag;
}

QString TResponseScan::PopName() {
    if (m_names.empty())
        return QString();
    QString name = std::move(m_names.back());
    m_names.pop_back();
    return name;
}

void TResponseScan::StoreText(TRpcDataType kind, const QString& text) {
    if (m_containers.empty()) {
        SetItemFromText(*m_result, kind, text);
        return;
    }
    const TContainer& top = m_containers.back();
    if (top.Struct)
        top.Struct->AddItemFromText(kind, PopName(), text);
    else
        top.Array->AddItemFromText(kind, text);
}

void TResponseScan::Text(QString text) {
    m_textSinceStart = true;
    if (text.trimmed().isEmpty()) {
        if (m_inValue) {
            m_pending = std::move(text);
            return;
        }
        // Whitespace is a real value for strings, and an empty content for
        // base64 (which writers put on lines of their own).
        if (m_lastTag != TTag::String && m_lastTag != TTag::Base64)
            return;
    }
    m_inValue = false;
    m_pending.clear();
    if (m_lastTag == TTag::Value && !m_names.empty() && text == m_names.back())
        text.clear();
    TTag tag = m_lastTag == TTag::Value ? TTag::String : m_lastTag;
    if (tag == TTag::String && text == QLatin1String("[NULL]"))
        text.clear();
    if (tag == TTag::Name) {
        m_names.push_back(Intern(text));
        return;
    }
    const TRpcDataType kind = KindOf(tag);
    if (kind != rdtNone)
        StoreText(kind, text);
    m_lastTag = TTag::None;
}

void TResponseScan::CloseContainer(const TContainer& container) {
    if (m_containers.empty()) {
        if (container.Struct)
            m_result->SetAsStruct(container.Struct);
        else
            m_result->SetAsArray(container.Array);
        return;
    }
    const TContainer& top = m_containers.back();
    if (top.Struct) {
        const QString name = PopName();
        if (container.Struct)
            top.Struct->AddItem(name, container.Struct);
        else
            top.Struct->AddItem(name, container.Array);
    } else {
        if (container.Struct)
            top.Array->AddItem(container.Struct);
        else
            top.Array->AddItem(container.Array);
    }
}

void TResponseScan::EndTag(QStringView name) {
    const TTag tag = ClassifyTag(name);
    // An element without any text (<name/>, <string/>, <base64></base64>)
    // holds an empty text, as <string></string> does once marked "[NULL]";
    // skipping it would leave its member name behind for the next member.
    if (!m_textSinceStart && tag == m_lastTag &&
        (tag == TTag::Name || tag == TTag::String || tag == TTag::Base64)) {
        Text(QString());
        return;
    }
    if (tag == TTag::Value && m_inValue && !m_containers.empty())
        StoreText(rdtString, m_pending);
    m_inValue = false;
    m_pending.clear();
    if (m_containers.empty())
        return;
    const TContainer top = m_containers.back();
    if ((tag == TTag::Struct && top.Struct) || (tag == TTag::Array && top.Array)) {
        m_containers.pop_back();
        CloseContainer(top);
    }
}

bool IsBlank(const QByteArray& text) {
    for (char c : text) {
        if (!QChar::isSpace(uchar(c)))
            return false;
    }
    return true;
}

// Patterns are lower case; the text is compared ignoring letter case.
struct TEmptyForm {
    QByteArrayView Pattern;
    QByteArrayView Replacement;
};
const TEmptyForm kEmptyForms[] = {
    {"<string></string>", "<string>[NULL]</string>"},
    {"<string></nil></string>", "<string>[NULL]</string>"},
    {"<string></null></string>", "<string>[NULL]</string>"},
    {"<value></value>", "<value>[NULL]</value>"},
    {"<value></nil></value>", "<value>[NULL]</value>"},
    {"<value></null></value>", "<value>[NULL]</value>"},
};

bool MatchesAt(const QByteArray& text, qsizetype pos, QByteArrayView pattern) {
    if (text.size() - pos < pattern.size())
        return false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        char c = text.at(pos + i);
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != pattern.at(i))
            return false;
    }
    return true;
}

} // namespace

QByteArray MarkEmptyRpcValues(const QByteArray& text) {
    // One pass; the patterns cannot overlap, so this equals replacing each
    // pattern in turn. The text is copied only when something matches.
    QByteArray result;
    qsizetype copied = 0;
    qsizetype pos = text.indexOf('<');
    while (pos >= 0) {
        const TEmptyForm* match = nullptr;
        for (const TEmptyForm& form : kEmptyForms) {
            if (MatchesAt(text, pos, form.Pattern)) {
                match = &form;
                break;
            }
        }
        if (match) {
            if (result.isEmpty())
                result.reserve(text.size() + 1024);
            result.append(text.constData() + copied, pos - copied);
            result.append(match->Replacement);
            copied = pos + match->Pattern.size();
            pos = text.indexOf('<', copied);
        } else {
            pos = text.indexOf('<', pos + 1);
        }
    }
    if (copied == 0)
        return text;
    result.append(text.constData() + copied, text.size() - copied);
    return result;
}

IRpcResultPtr TRpcClientParser::ParseResponse(const QByteArray& response) {
    IRpcResultPtr result = NewRpcResult();
    const QByteArray text = MarkEmptyValues ? MarkEmptyRpcValues(response) : response;
    if (IsBlank(text)) {
        result->SetFault(kFaultEmptyResponse,
                         QStringLiteral("The xml-rpc server returned a empty response"));
        return result;
    }
    const QString invalid = QStringLiteral("Invalid payload received from xml-rpc server");
    if (!text.contains("xml")) {
        result->SetFault(kFaultInvalidPayload, invalid);
        return result;
    }
    TResponseScan scan(result);
    if (!scan.Run(text)) {
        // Never hand on a half-read answer.
        result->SetFault(kFaultInvalidPayload, invalid);
    }
    return result;
}

IRpcResultPtr TRpcCaller::ExecuteCall(const IRpcFunctionPtr& call) {
    OrvAssert(call != nullptr);
    const QByteArray response = PostRequest(call->GetRequestXML());
    IRpcResultPtr result = ParseResponse(response);
    call->Clear();
    return result;
}

QByteArray TRpcCaller::PostRequest(const QByteArray& request) {
    return PostRpcRequest(m_settings, request);
}
