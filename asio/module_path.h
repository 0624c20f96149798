// Module paths as registration stores and compares them. Windows paths are case-insensitive and
// registered in lower case; Linux paths are case-sensitive, so a lower-cased path would point
// nowhere: there the case is kept and paths compare exactly.
#pragma once

// Brings a module path into the form it is registered in.
void normalizeModulePath(char* path);
// Whether two normalized paths name the same module file.
bool sameModulePath(const char* a, const char* b);
