#include "payroll/xmlrpc/XmlRpcClient.h"

#include "payroll/xmlrpc/XmlRpcDataSet.h"
#include "payroll/xmlrpc/XmlRpcScanner.h"

#include <QHash>

#include <expat.h>

#include <exception>
#include <new>
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

TTag ClassifyTag(QByteArrayView name) {
    auto is = [name](QByteArrayView tag) { return name.compare(tag, Qt::CaseInsensitive) == 0; };
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

bool IsBlankText(const QByteArray& text) {
    for (char c : text) {
        if (!QChar::isSpace(uchar(c)))
            return false;
    }
    return true;
}

bool IsBlankText(const QString& text) {
    for (QChar c : text) {
        if (!c.isSpace())
            return false;
    }
    return true;
}

// One parse: the container and name stacks never outlive it, so containers
// left open by a malformed answer cannot reach the next result.
class TResponseScan {
public:
    TResponseScan(IRpcResultPtr result, bool markEmptyValues, bool fastScan)
        : m_result(std::move(result)), m_markEmptyValues(markEmptyValues), m_fastScan(fastScan) {}
    ~TResponseScan() {
        if (m_parser)
            XML_ParserFree(m_parser);
    }
    TResponseScan(const TResponseScan&) = delete;
    TResponseScan& operator=(const TResponseScan&) = delete;

    // False when the text is not acceptable XML. Conversion errors throw.
    bool Run(const QByteArray& text);

private:
    // True when the fast scanner read the whole document; false where only
    // expat can tell what it is.
    bool RunScanner(const QByteArray& text);
    bool RunExpat(const QByteArray& text);
    void Reset();

private:
    static void OnStart(void* self, const XML_Char* name, const XML_Char** attributes);
    static void OnEnd(void* self, const XML_Char* name);
    static void OnText(void* self, const XML_Char* text, int length);
    static void OnComment(void* self, const XML_Char*);
    static void OnPi(void* self, const XML_Char*, const XML_Char*);
    static void OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int);
    // Runs a handler; an exception stops the scan and is rethrown after it.
    template <class F> static void Guarded(void* self, F&& handler);
    bool Feed(const char* data, qsizetype size, bool last);
    void Refuse();

    void StartTag(QByteArrayView name);
    void EndTag(QByteArrayView name);
    void Text(QString text);
    void FlushText();
    void StoreText(TRpcDataType kind, const QString& text);
    void CloseContainer(const TContainer& container);
    QString PopName();
    QString Intern(const QByteArray& name);

    IRpcResultPtr m_result;
    bool m_markEmptyValues;
    bool m_fastScan;
    XML_Parser m_parser = nullptr;
    bool m_refused = false;
    std::exception_ptr m_error;
    int m_depth = 0;
    std::vector<TContainer> m_containers;
    std::vector<QString> m_names;
    TTag m_lastTag = TTag::None;
    bool m_inValue = false;
    QString m_pending;
    QByteArray m_text; // UTF-8 character data since the last tag
    bool m_haveText = false;
    bool m_textSinceStart = false;
    QHash<QByteArray, QString> m_internedNames;
};

template <class F> void TResponseScan::Guarded(void* self, F&& handler) {
    auto* scan = static_cast<TResponseScan*>(self);
    if (scan->m_error || scan->m_refused)
        return;
    try {
        handler(*scan);
    } catch (...) {
        // Never let an exception cross the C parser.
        scan->m_error = std::current_exception();
        XML_StopParser(scan->m_parser, XML_FALSE);
    }
}

void TResponseScan::Refuse() {
    m_refused = true;
    XML_StopParser(m_parser, XML_FALSE);
}

void TResponseScan::OnStart(void* self, const XML_Char* name, const XML_Char**) {
    Guarded(self, [name](TResponseScan& scan) {
        if (++scan.m_depth > TRpcClientParser::kMaxElementDepth) {
            scan.Refuse();
            return;
        }
        scan.FlushText();
        scan.StartTag(QByteArrayView(name));
    });
}

void TResponseScan::OnEnd(void* self, const XML_Char* name) {
    Guarded(self, [name](TResponseScan& scan) {
        --scan.m_depth;
        scan.FlushText();
        scan.EndTag(QByteArrayView(name));
    });
}

void TResponseScan::OnText(void* self, const XML_Char* text, int length) {
    // Character data arrives in pieces (lines, references, CDATA sections).
    Guarded(self, [text, length](TResponseScan& scan) {
        scan.m_text.append(text, length);
        scan.m_haveText = true;
    });
}

void TResponseScan::OnComment(void* self, const XML_Char*) {
    Guarded(self, [](TResponseScan& scan) { scan.FlushText(); });
}

void TResponseScan::OnPi(void* self, const XML_Char*, const XML_Char*) {
    OnComment(self, nullptr);
}

void TResponseScan::OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    // No answer of the service has a DTD; refusing any keeps entity
    // definitions, expansion bombs and external entities out.
    static_cast<TResponseScan*>(self)->Refuse();
}

bool TResponseScan::Feed(const char* data, qsizetype size, bool last) {
    do {
        const qsizetype chunk = qMin<qsizetype>(size, 1 << 30);
        const bool final = last && chunk == size;
        if (XML_Parse(m_parser, data, int(chunk), final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK)
            return false;
        data += chunk;
        size -= chunk;
    } while (size > 0);
    return true;
}

void TResponseScan::FlushText() {
    if (!m_haveText)
        return;
    m_haveText = false;
    // Layout whitespace between tags is ignored (see Text): skip the
    // conversion for it, it is most of the texts of an answer.
    if (!m_inValue && m_lastTag != TTag::String && m_lastTag != TTag::Base64 &&
        IsBlankText(m_text)) {
        m_textSinceStart = true;
        m_text.resize(0);
        return;
    }
    // Member names repeat row after row: share one copy of each.
    QString text = m_lastTag == TTag::Name ? Intern(m_text) : QString::fromUtf8(m_text);
    m_text.resize(0); // keeps the buffer for the next text
    Text(std::move(text));
}

QString TResponseScan::Intern(const QByteArray& name) {
    const auto found = m_internedNames.constFind(name);
    if (found != m_internedNames.constEnd())
        return *found;
    QString text = QString::fromUtf8(name);
    if (m_internedNames.size() < 4096)
        m_internedNames.insert(name, text);
    return text;
}

void TResponseScan::StartTag(QByteArrayView name) {
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
    if (IsBlankText(text)) {
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
        m_names.push_back(std::move(text));
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

void TResponseScan::EndTag(QByteArrayView name) {
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

QByteArrayView MarkedEmptyValue(QByteArrayView element) {
    return element == "string" ? QByteArrayView("<string>[NULL]</string>")
                               : QByteArrayView("<value>[NULL]</value>");
}

} // namespace

namespace {

// The next empty form at or after from, -1 when there is none; its length
// and its marked form.
qsizetype FindEmptyForm(const QByteArray& text, qsizetype from, qsizetype& length,
                        QByteArrayView& marked) {
    for (qsizetype pos = text.indexOf('<', from); pos >= 0; pos = text.indexOf('<', pos + 1)) {
        QByteArrayView element;
        length = MatchEmptyRpcValue(QByteArrayView(text).sliced(pos), element);
        if (length > 0) {
            marked = MarkedEmptyValue(element);
            return pos;
        }
    }
    return -1;
}

bool TResponseScan::Run(const QByteArray& text) {
    if (m_fastScan) {
        try {
            if (RunScanner(text))
                return true;
        } catch (...) {
            // A value that does not convert: expat tells whether the
            // document is well-formed before it gets there.
        }
        Reset();
    }
    return RunExpat(text);
}

void TResponseScan::Reset() {
    m_result->Clear();
    m_containers.clear();
    m_names.clear();
    m_lastTag = TTag::None;
    m_inValue = false;
    m_pending.clear();
    m_text.resize(0);
    m_haveText = false;
    m_textSinceStart = false;
}

bool TResponseScan::RunScanner(const QByteArray& text) {
    TRpcXmlScanner scanner(text, m_markEmptyValues, TRpcClientParser::kMaxElementDepth);
    for (;;) {
        switch (scanner.Next()) {
        case TRpcXmlScanner::tkStart:
            FlushText();
            StartTag(scanner.Name());
            break;
        case TRpcXmlScanner::tkEnd:
            FlushText();
            EndTag(scanner.Name());
            break;
        case TRpcXmlScanner::tkText:
            m_text.append(scanner.Text());
            m_haveText = true;
            break;
        case TRpcXmlScanner::tkDone:
            return true;
        case TRpcXmlScanner::tkGiveUp:
            return false;
        }
    }
}

bool TResponseScan::RunExpat(const QByteArray& text) {
    m_parser = XML_ParserCreate(nullptr);
    if (!m_parser)
        throw std::bad_alloc();
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &OnStart, &OnEnd);
    XML_SetCharacterDataHandler(m_parser, &OnText);
    XML_SetCommentHandler(m_parser, &OnComment);
    XML_SetProcessingInstructionHandler(m_parser, &OnPi);
    XML_SetStartDoctypeDeclHandler(m_parser, &OnDoctype);
    XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);

    // Empty values are marked while the text is fed, so that a large answer
    // is never copied.
    bool ok = true;
    qsizetype fed = 0;
    qsizetype length = 0;
    QByteArrayView marked;
    if (m_markEmptyValues) {
        for (qsizetype pos = FindEmptyForm(text, 0, length, marked); ok && pos >= 0;
             pos = FindEmptyForm(text, fed, length, marked)) {
            ok = Feed(text.constData() + fed, pos - fed, false) &&
                 Feed(marked.data(), marked.size(), false);
            fed = pos + length;
        }
    }
    ok = ok && Feed(text.constData() + fed, text.size() - fed, true);
    if (m_error)
        std::rethrow_exception(m_error);
    return ok && !m_refused;
}

} // namespace

QByteArray MarkEmptyRpcValues(const QByteArray& text) {
    // The patterns cannot overlap, so one pass equals replacing each in turn.
    QByteArray result;
    qsizetype copied = 0;
    qsizetype length = 0;
    QByteArrayView marked;
    for (qsizetype pos = FindEmptyForm(text, 0, length, marked); pos >= 0;
         pos = FindEmptyForm(text, copied, length, marked)) {
        result.append(text.constData() + copied, pos - copied);
        result.append(marked);
        copied = pos + length;
    }
    if (copied == 0)
        return text;
    result.append(text.constData() + copied, text.size() - copied);
    return result;
}

IRpcResultPtr TRpcClientParser::ParseResponse(const QByteArray& response) {
    IRpcResultPtr result = NewRpcResult();
    if (IsBlankText(response)) {
        result->SetFault(kFaultEmptyResponse,
                         QStringLiteral("The xml-rpc server returned a empty response"));
        return result;
    }
    const QString invalid = QStringLiteral("Invalid payload received from xml-rpc server");
    if (!response.contains("xml")) {
        result->SetFault(kFaultInvalidPayload, invalid);
        return result;
    }
    TResponseScan scan(result, MarkEmptyValues, FastScan);
    if (!scan.Run(response)) {
        // Never hand on a half-read answer.
        result->SetFault(kFaultInvalidPayload, invalid);
    }
    return result;
}

TRpcDataSetAnswer TRpcClientParser::ParseDataSetResponse(const QByteArray& response) {
    TRpcDataSetAnswer answer;
    // The checks of ParseResponse come first: an answer it would not scan
    // never becomes a table.
    if (FastScan && !IsBlankText(response) && response.contains("xml"))
        answer.Table = StreamDataSetResponse(response, MarkEmptyValues);
    if (!answer.Table)
        answer.Result = ParseResponse(response);
    return answer;
}

IRpcResultPtr TRpcCaller::ExecuteCall(const IRpcFunctionPtr& call) {
    OrvAssert(call != nullptr);
    const QByteArray response = PostRequest(call->GetRequestXML(), call->MethodName());
    IRpcResultPtr result = ParseResponse(response);
    call->Clear();
    return result;
}

TRpcDataSetAnswer TRpcCaller::ExecuteDataSetCall(const IRpcFunctionPtr& call) {
    OrvAssert(call != nullptr);
    const QByteArray response = PostRequest(call->GetRequestXML(), call->MethodName());
    TRpcDataSetAnswer answer = ParseDataSetResponse(response);
    call->Clear();
    return answer;
}

QByteArray TRpcCaller::PostRequest(const QByteArray& request, const QString& methodName) {
    return PostRpcRequest(m_settings, request, methodName);
}
