// A fast scanner for the XML of the payroll service's answers: elements
// without attributes, text with the predefined entities and character
// references, an XML declaration naming UTF-8 or no encoding. Whatever else
// a document holds (comments, CDATA, attributes, another encoding, anything
// not well-formed, nesting beyond the limit) makes it give up, and the
// caller reads the document with expat instead. Where it does not give up it
// reports what expat reports: the same elements and the same text, line
// breaks normalised, in the same order.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// The empty value forms the answer parser marks, at the start of text (a
// "<"): the length of the form found there, 0 for none, and the element
// ("string" or "value") it stands for.
qsizetype MatchEmptyRpcValue(QByteArrayView text, QByteArrayView& element);

class TRpcXmlScanner {
public:
    enum TToken { tkStart, tkEnd, tkText, tkDone, tkGiveUp };

    // With markEmptyValues, "<string></string>", "<value></value>" and their
    // "</nil>" and "</null>" forms (any letter case) read as holding the text
    // "[NULL]", as the answer parser marks them. The text must outlive the
    // scanner.
    TRpcXmlScanner(QByteArrayView text, bool markEmptyValues, int maxDepth);

    // The next token; tkDone at the end of a whole document, tkGiveUp (and
    // from then on always tkGiveUp) where expat must decide.
    TToken Next();
    // The element name of tkStart and tkEnd.
    QByteArrayView Name() const { return m_name; }
    // The UTF-8 text of tkText: never empty, entities decoded, every CR LF
    // and lone CR as LF. Valid until the scanner has read the second text
    // after it, so a value survives the blanks that follow its element.
    QByteArrayView Text() const { return m_text; }

private:
    enum class TPhase { Prolog, Content, Epilog };
    struct TQueued {
        TToken Token;
        QByteArrayView Value;
    };

    TToken GiveUp();
    TToken Tag();
    TToken ScanText();
    bool ReadDeclaration();
    bool ReadName(QByteArrayView& name);
    void SkipBlanks();
    bool MatchesEmptyValue(QByteArrayView& name, qsizetype& length) const;
    TToken Emit(const TQueued& token);

    const char* m_pos;
    const char* const m_end;
    const bool m_markEmptyValues;
    const int m_maxDepth;
    TPhase m_phase = TPhase::Prolog;
    bool m_gaveUp = false;
    std::vector<QByteArrayView> m_open; // names of the open elements
    TQueued m_queue[2];                 // tokens an element of one piece still owes
    int m_queued = 0;
    int m_nextQueued = 0;
    QByteArrayView m_name;
    QByteArrayView m_text;
    QByteArray m_buffers[2]; // decoded texts, in turn
    int m_nextBuffer = 0;
};
