#include "runs/RunThreadApartment.h"

// The sandbox company needs no apartment.
TRunThreadApartment::TRunThreadApartment() = default;

TRunThreadApartment::~TRunThreadApartment() = default;
