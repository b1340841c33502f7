#include "runs/RunThreadApartment.h"

#include <objbase.h>

TRunThreadApartment::TRunThreadApartment() {
    // A thread already in another apartment keeps it; then nothing is undone.
    m_entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

TRunThreadApartment::~TRunThreadApartment() {
    if (m_entered)
        CoUninitialize();
}
