// Entry points of the model phase that the run driver calls.
#pragma once

#include <cstdint>

/// Builds the model of element tag `xmlId` declared in type `typeId` (0 for
/// the root); returns its elemId, 0 when no row was made.
int32_t processElement(int32_t xmlId, int32_t typeId);

/// Adds the XML-instance attributes to the root element's type.
void createXsiAttributes(int32_t rootElemId);

/// Reshapes types holding elements and attributes; default values of attributes.
void createExtraTypes();

/// Sets the depth of the element stack to 0 (before checkRecursion).
void resetElementStack();

/// Breaks every cycle of element types reachable from `typeId`.
void checkRecursion(int32_t typeId);

/// Narrow question the model asks the repository: is a type of this name
/// already in the message set?  `typeName` is the model's own name of the
/// type (as it would be stored in TypeEntry::name, before the type prefix and
/// suffix); the answering side makes the repository identifier from it and
/// looks it up.  While no hook is set (no repository connected) every name
/// counts as free.  Setting a null hook disconnects.
using TypeNameTakenFn = bool (*)(const char* typeName);
void setTypeNameTakenHook(TypeNameTakenFn fn);
