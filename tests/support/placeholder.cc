// Keeps the support library non-empty before shared fixtures exist.
namespace kestrum_test { int placeholder = 0; }
