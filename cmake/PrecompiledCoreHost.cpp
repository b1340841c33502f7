// Compiles the precompiled Qt Core headers that the project's targets reuse.
