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
/// already in the message set?  Answers false while no repository is connected.
using TypeNameTakenFn = bool (*)(const char* typeName);
void setTypeNameTakenHook(TypeNameTakenFn fn);
