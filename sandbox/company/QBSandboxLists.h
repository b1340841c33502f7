// Adding list elements the way QuickBooks does (names, parents, uniqueness),
// and loading the demo data set into a company.
#pragma once

#include "company/QBSandboxCompany.h"

// Fields of a new list element; FullName holds the levels joined with ":".
// Employees take their name from FirstName, MiddleName and LastName.
struct TSbNewListElement {
    TSbListKind Kind = TSbListKind::Account;
    QString FullName;
    QString AccountType;
    QString AccountNumber;
    QString CompanyName;
    QString FirstName;
    QString MiddleName;
    QString LastName;
    bool IsActive = true;
};

// Checks names and lengths, finds the parent, refuses a name in use
// (ESandboxError). Call inside a transaction. Returns the new ListID.
QString AddSandboxListElement(TQBSandboxCompany& company, const TSbNewListElement& element);

// The folder "demo" beside the running program.
QString DefaultSandboxDemoDir();

// Reads company.json of the demo folder and adds its accounts, classes,
// customers, employees and vendors, and takes its company name, in one
// transaction. Throws ESandboxError.
void LoadSandboxDemoData(TQBSandboxCompany& company, const QString& demoDir);

// Checks a company name: not empty, no control characters. Returns it
// trimmed; throws ESandboxError.
QString CheckedSandboxCompanyName(const QString& name);

// Creates a company file, with the demo data when demoDir is not empty,
// named `name` when given. A failure leaves no file behind.
void CreateSandboxCompany(const QString& fileName, const QString& demoDir,
                          const QString& name = QString());
