// The texts of the statuses and the names of the codes the library answers
// with: the one table of each, read by QELStatusText, QELCodeName and
// QELAttrKeyName and by the SQL views of a repository file.
#include "code_names.h"

#include <cstring>
#include <iterator>

#include "plugin_rules.h"
#include "qelbeapi.h"

#define QEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
const char* const kStatusTexts[104] = {
    "Successful completion",                                                              // 0
    "General Failure",                                                                    // -1
    "Component is not of class PROJECT",                                                  // -2
    "Invalid value for DEFCLASS",                                                         // -3
    "Requested Component does not exist",                                                 // -4
    "Invalid value for WALKTYPE",                                                         // -5
    "Component is not a child of parent",                                                 // -6
    "Component is not a parent of child",                                                 // -7
    "Invalid handle",                                                                     // -8
    "Component must be an orphan",                                                        // -9
    "Invalid buffer pointer or size",                                                     // -10
    "Invalid details structure",                                                          // -11
    "Invalid member structure",                                                           // -12
    "Operation only valid for structure types",                                           // -13
    "Invalid Type",                                                                       // -14
    "Internal Error",                                                                     // -15
    "Internal Error",                                                                     // -16
    "Component is not of class MESSAGE",                                                  // -17
    "Invalid Element Path",                                                               // -18
    "Context Tag not valid for Path",                                                     // -19
    "No Context Tag set for Path",                                                        // -20
    "Invalid Element",                                                                    // -21
    "Component is already a Member",                                                      // -22
    "Invalid Context Tag",                                                                // -23
    "No Elements in Message",                                                             // -24
    "Context Tag already set for path.",                                                  // -25
    "Context Tag EndElement does not match path",                                         // -26
    "Invalid Child, because already depends on parent, i.e. would cause circular defn.",  // -27
    "Message with same mode already in Txn.",                                             // -28
    "Invalid Message Mode.",                                                              // -29
    "Invalid Type Category",                                                              // -30
    "Operation is not valid for component.",                                              // -31
    "Invalid Identifier.",                                                                // -32
    "Component identifier already exists.",                                               // -33
    "Internal Error",                                                                     // -34
    "Internal Error",                                                                     // -35
    "Project Name already exists",                                                        // -36
    "Invalid Project handle.",                                                            // -37
    "Invalid name.",                                                                      // -38
    "Invalid Low Value.",                                                                 // -39
    "Invalid User.",                                                                      // -40
    "Operation is not permitted.",                                                        // -41
    "Project is open.",                                                                   // -42
    "Project is not open.",                                                               // -43
    "Project is not open for Write access.",                                              // -44
    "Read only attribute may not be changed",                                             // -45
    "Identifier may not be changed.",                                                     // -46
    "Internal Error",                                                                     // -47
    "Internal Error",                                                                     // -48
    "Name may not be changed",                                                            // -49
    "Description may not be changed",                                                     // -50
    "Type may not be changed",                                                            // -51
    "Internal Error",                                                                     // -52
    "End Element may not be changed",                                                     // -53
    "Message Mode may not be changed",                                                    // -54
    "Project is Finalised",                                                               // -55
    "Project modifications have not been saved",                                          // -56
    "Access denied to User.",                                                             // -57
    "Write Access denied to User.",                                                       // -58
    "Invalid First Name.",                                                                // -59
    "Invalid Last Name.",                                                                 // -60
    "Invalid High Value.",                                                                // -61
    "Internal Error",                                                                     // -62
    "Component is not descoped from all references.",                                     // -63
    "Invalid Repository database.",                                                       // -64
    "Invalid BaseMode for Project.",                                                      // -65
    "Project does not exist.",                                                            // -66
    "Project is not complete.",                                                           // -67
    "Internal Error",                                                                     // -68
    "Project is already open for write access.",                                          // -69
    "Admin is already open.",                                                             // -70
    "Component is descoped.",                                                             // -71
    "Repository is already initialized.",                                                 // -72
    "Error connecting to Repository Database.",                                           // -73
    "Cannot find Repository Database Name.",                                              // -74
    "Invalid userid/password connecting to Repository Database.",                         // -75
    "Project is read only.",                                                              // -76
    "API Release is not compatable with application.",                                    // -77
    "Attribute name is not defined.",                                                     // -78
    "Attribute type is invalid.",                                                         // -79
    "Invalid value for attribute.",                                                       // -80
    "Plug-in extension initialization identification error.",                             // -81
    "Invalid Plugin handle.",                                                             // -82
    "Attribute may not have a value.",                                                    // -83
    "Attribute value already exists.",                                                    // -84
    "Error in loading plugin.",                                                           // -85
    "No History available for attribute.",                                                // -86
    "Project is not finalised.",                                                          // -87
    "Invalid Level for project.",                                                         // -88
    "Duplicate Repository info exists.",                                                  // -89
    "Plugin not installed.",                                                              // -90
    "Error connecting to, or accessing the Repository Database, no database manager (e.g., not "
    "started).",                                       // -91
    "Error while accessing the Repository Database.",  // -92
    "Invalid Base Type.",                              // -93
    "Invalid Type Composition.",                       // -94
    "Invalid Type Content.",                           // -95
    "Invalid Role property for Value.",                // -96
    "Invalid Min Occurs.",                             // -97
    "Invalid Max Occurs.",                             // -98
    "Invalid Message Header for Project.",             // -99
    "Invalid Repeating indicator.",                    // -100
    "Value is already set for role.",                  // -101
    "Plugin Registered Name already exists",           // -102
    "Internal error",                                  // every other status
};

const qel::CodeName kCodeNames[] = {
    {QEL_CODES_CLASS, QEL_CLASS_PROJECT, "messageSet"},
    {QEL_CODES_CLASS, QEL_CLASS_PLUGIN, "plugin"},
    {QEL_CODES_CLASS, QEL_CLASS_MESSAGE, "message"},
    {QEL_CODES_CLASS, QEL_CLASS_ELEMENT, "element"},
    {QEL_CODES_CLASS, QEL_CLASS_TYPE, "type"},
    {QEL_CODES_CLASS, QEL_CLASS_VALUE, "value"},
    {QEL_CODES_MEMBER_KIND, QEL_MEMBER_PLUGIN, "pluginMember"},
    {QEL_CODES_MEMBER_KIND, QEL_MEMBER_TYPE, "typeMember"},
    {QEL_CODES_MEMBER_KIND, QEL_MEMBER_VALUE, "valueMember"},
    {QEL_CODES_TYPE_KIND, QEL_TYPE_KIND_SIMPLE, "simple"},
    {QEL_CODES_TYPE_KIND, QEL_TYPE_KIND_COMPLEX, "complex"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_NONE, "none"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_EMPTY, "empty"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_CHOICE, "choice"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_ATTRIBUTES, "attributes"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_ALL, "all"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_RESERVED, "reserved"},
    {QEL_CODES_COMPOSITION, QEL_COMPOSITION_SEQUENCE, "sequence"},
    {QEL_CODES_CONTENT, QEL_CONTENT_NONE, "none"},
    {QEL_CODES_CONTENT, QEL_CONTENT_ORDINARY, "ordinary"},
    {QEL_CODES_CONTENT, QEL_CONTENT_RESERVED, "reserved"},
    {QEL_CODES_CONTENT, QEL_CONTENT_OPEN, "open"},
    {QEL_CODES_ROLE, QEL_ROLE_MIN_INCLUSIVE, "minInclusive"},
    {QEL_CODES_ROLE, QEL_ROLE_MAX_INCLUSIVE, "maxInclusive"},
    {QEL_CODES_ROLE, QEL_ROLE_MIN_LENGTH, "minLength"},
    {QEL_CODES_ROLE, QEL_ROLE_MAX_LENGTH, "maxLength"},
    {QEL_CODES_ROLE, QEL_ROLE_ENUMERATION, "enumeration"},
    {QEL_CODES_ROLE, QEL_ROLE_DEFAULT, "default"},
    {QEL_CODES_ROLE, QEL_ROLE_NILLABLE, "nillable"},
    {QEL_CODES_ROLE, QEL_ROLE_STRING, "string"},
    {QEL_CODES_ROLE, QEL_ROLE_MIN_EXCLUSIVE, "minExclusive"},
    {QEL_CODES_ROLE, QEL_ROLE_MAX_EXCLUSIVE, "maxExclusive"},
};

}  // namespace

namespace qel {

std::vector<CodeName> codeNames() { return {std::begin(kCodeNames), std::end(kCodeNames)}; }

const char* codeSetName(int32_t codeSet) {
  switch (codeSet) {
    case QEL_CODES_CLASS:
      return "class";
    case QEL_CODES_MEMBER_KIND:
      return "memberKind";
    case QEL_CODES_TYPE_KIND:
      return "typeKind";
    case QEL_CODES_COMPOSITION:
      return "composition";
    case QEL_CODES_CONTENT:
      return "content";
    case QEL_CODES_ROLE:
      return "role";
    default:
      return nullptr;
  }
}

}  // namespace qel

QEL_EXPORT const char* QELStatusText(int32_t status) {
  int32_t index = (status > -103 && status <= 0) ? -status : 103;
  return kStatusTexts[index];
}

QEL_EXPORT const char* QELCodeName(int32_t codeSet, int32_t code) {
  for (const qel::CodeName& c : kCodeNames)
    if (c.codeSet == codeSet && c.code == code) return c.name;
  return nullptr;
}

QEL_EXPORT const char* QELAttrKeyName(const char* plugin, int32_t key) {
  if (plugin == nullptr) return nullptr;
  return qel::attributeKeyName(qel::pluginByName(plugin), key);
}
