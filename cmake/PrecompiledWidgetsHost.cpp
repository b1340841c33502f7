// Compiles the precompiled Qt Core and widget headers that widget code reuses.
