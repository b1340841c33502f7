// Compiles the precompiled Qt Core headers that the tests reuse.
