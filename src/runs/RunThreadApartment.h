// What a thread must set up to talk to QuickBooks: on Windows its COM
// apartment (single-threaded, as QuickBooks' request processor wants), for
// as long as the object lives; elsewhere nothing.
#pragma once

class TRunThreadApartment {
public:
    TRunThreadApartment();
    ~TRunThreadApartment();
    TRunThreadApartment(const TRunThreadApartment&) = delete;
    TRunThreadApartment& operator=(const TRunThreadApartment&) = delete;

private:
    bool m_entered = false;
};
