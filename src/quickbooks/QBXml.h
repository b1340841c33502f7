// qbXML text of request sets and typed objects of response sets.
#pragma once

#include "quickbooks/QBFC7Lib.h"

// The qbXML text of a request set (what ToXMLString returns). Throws EQBError
// for a value QuickBooks cannot take (an amount with more than two decimals,
// a control character in a text, a text longer than its field holds, counted
// in characters), so such a set is never sent.
QString WriteQBRequestSet(const TMsgSetRequest& request);
// The same checks for one request, so that a set holding the requests of
// many records is never refused whole for one of them.
void CheckQBRequest(const TQBRequest& request);

// Reads QuickBooks' answer to the request set. The text is untrusted: any
// departure from one response per request, in order, with readable statuses
// and complete returned objects throws EQBResponseError.
std::unique_ptr<TMsgSetResponse> ReadQBResponseSet(const QString& xml,
                                                   const TMsgSetRequest& request);
// Reads QuickBooks' answer to a status request as its stored answer to the
// lost set: every response of that set, or none when it keeps no answer.
std::unique_ptr<TMsgSetResponse> ReadQBStoredResponseSet(const QString& xml,
                                                         const TMsgSetRequest& lost);

// What an answer may be before it is parsed at all: QuickBooks' answers stay
// far inside these, and beyond them Qt's reader slows down without limit
// (its duplicate check is quadratic in the attributes of one element).
struct TQBXmlBounds {
    qsizetype MaxCharacters = qsizetype(128) * 1024 * 1024;
    int MaxAttributes = 32;
    int MaxDepth = 64;
};
// Throws EQBResponseError when the text is beyond the bounds or declares a
// document type. ReadQBResponseSet and ReadQBStoredResponseSet check this first.
void CheckQBXmlBounds(QStringView xml, const TQBXmlBounds& bounds = TQBXmlBounds());

// Value forms of qbXML: amounts "-12.50", dates "2024-03-07".
QString QBAmountToText(Currency amount);
bool QBTextToAmount(const QString& text, Currency& amount);
QString QBDateToText(const QDate& date);
