// One QuickBooks session for many connections in a row: the company file is
// opened once (what takes QuickBooks longest) and closed when the session
// goes, however each connection over it ends.
#pragma once

#include "quickbooks/QBFC7Lib.h"

#include <memory>

class TCompanySession {
public:
    explicit TCompanySession(IQBSessionManagerPtr inner) : m_inner(std::move(inner)) {}
    ~TCompanySession();
    TCompanySession(const TCompanySession&) = delete;
    TCompanySession& operator=(const TCompanySession&) = delete;

    // A session manager for one connection; its end leaves the session open.
    IQBSessionManagerPtr Borrow(const std::shared_ptr<TCompanySession>& self);

private:
    class TBorrowed;
    IQBSessionManagerPtr m_inner;
    bool m_open = false;
    bool m_begun = false;
};
