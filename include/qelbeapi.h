/*
 * qelbeapi.h: the repository back-end API.
 *
 * A C-callable library that keeps message sets (projects) of messages,
 * elements, types and values with their members and plug-in attributes in a
 * repository database.  This header is the library's only public interface.
 *
 * Conventions:
 *  - every function returns an int32_t status: 0 success, a negative code
 *    otherwise (-4: the requested component does not exist, the normal end of
 *    a find or a walk);
 *  - handles are opaque uint32_t values, 0 for none; identifiers are int32_t;
 *  - names and values are NUL-terminated UTF-8 texts;
 *  - details and member records are byte buffers of fixed sizes per class,
 *    filled with defaults by the library, patched by the caller at the
 *    offsets named below, and handed back.
 */
#ifndef QELBEAPI_H
#define QELBEAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Definition class codes. */
#define QEL_CLASS_PROJECT 1
#define QEL_CLASS_PLUGIN 2
#define QEL_CLASS_MESSAGE 102
#define QEL_CLASS_ELEMENT 103
#define QEL_CLASS_TYPE 104
#define QEL_CLASS_VALUE 106

/* Classes that a message set may hold but this library never creates; finds
   and walks over them answer -4. */
#define QEL_CLASS_RESERVED_100 100
#define QEL_CLASS_RESERVED_101 101
#define QEL_CLASS_RESERVED_105 105

/* Walk types of QELGetNextDefinition. */
#define QEL_WALK_NEXT 1          /* next definition of the same class; from a member, the next
                                    member of the same parent */
#define QEL_WALK_FIRST_MEMBER 2  /* first member of a definition (current = the parent) */
#define QEL_WALK_PLUGIN_MEMBER 8 /* first plug-in member of a message set */

/* Details record sizes. */
#define QEL_PROJECT_DETAILS_SIZE 868
#define QEL_MESSAGE_DETAILS_SIZE 576
#define QEL_ELEMENT_DETAILS_SIZE 828
#define QEL_TYPE_DETAILS_SIZE 592
#define QEL_VALUE_DETAILS_SIZE 828
#define QEL_PLUGIN_DETAILS_SIZE 1308
/* Member record sizes. */
#define QEL_PLUGIN_MEMBER_SIZE 324
#define QEL_TYPE_MEMBER_SIZE 832
#define QEL_VALUE_MEMBER_SIZE 64
/* Attribute reference record. */
#define QEL_ATTR_REF_SIZE 116

/* Field offsets in details records.  Every record the library fills starts
   with its size (int32 at 0) and its class or member kind (int32 at 4). */
#define QEL_OFF_RECORD_SIZE 0
#define QEL_OFF_RECORD_CLASS 4
#define QEL_OFF_IDENTIFIER 12   /* int32 identifier */
#define QEL_OFF_NAME 24         /* name text, up to 255 characters and a NUL */
#define QEL_OFF_SECOND_NAME 280 /* second name text, same size */
#define QEL_NAME_SIZE 256
#define QEL_OFF_TYPE_HANDLE 536 /* element, message, value: uint32 type handle */
#define QEL_OFF_TYPE_KIND 536   /* type: int32 kind word */
#define QEL_OFF_VALUE_TEXT 540  /* value: the value text */
#define QEL_VALUE_TEXT_SIZE 256
#define QEL_OFF_BASE_TYPE 548   /* type: uint32 base type handle */
#define QEL_OFF_COMPOSITION 552 /* type: int32 composition */
#define QEL_OFF_CONTENT 556     /* type: int32 content */
/* Project details. */
#define QEL_OFF_PROJECT_ID 32   /* message set identifier text, up to 15 characters */
#define QEL_PROJECT_ID_SIZE 16
#define QEL_OFF_PROJECT_NAME 48 /* message set name; also the start of the project key */
#define QEL_OFF_PROJECT_KEY_WORD 304 /* int16 set to 1 before a look-up */
#define QEL_PROJECT_KEY_SIZE 258     /* name (256 bytes) then int16 1 */
/* Plug-in details. */
#define QEL_OFF_PLUGIN_NAME 280 /* registered plug-in name */
/* Member records. */
#define QEL_OFF_MEMBER_PARENT 8    /* uint32 parent handle (filled by the library) */
#define QEL_OFF_MEMBER_CHILD 12    /* uint32 child handle (filled by the library) */
#define QEL_OFF_MEMBER_REPEAT 28   /* type member: int16 repeat flag */
#define QEL_OFF_MEMBER_ROLE 28     /* value member: int32 role */
#define QEL_OFF_MEMBER_MIN 30      /* type member: minimum occurrences, decimal text */
#define QEL_OFF_MEMBER_MAX 286     /* type member: maximum occurrences, decimal text */
#define QEL_OCCURS_TEXT_SIZE 256
#define QEL_OFF_MEMBER_NAME 36     /* plug-in member: member name */
/* Attribute reference. */
#define QEL_OFF_ATTR_PLUGIN 108 /* uint32 plug-in member handle */
#define QEL_OFF_ATTR_KEY 112    /* int32 attribute key */
#define QEL_ATTR_VALUE_SIZE 254 /* longest value text with its NUL is 255 */

/* Member kinds, at offset 4 of a member record. */
#define QEL_MEMBER_PLUGIN 1
#define QEL_MEMBER_TYPE 2
#define QEL_MEMBER_VALUE 3

/* Value roles: 1 minimum inclusive, 2 maximum inclusive, 3 minimum length,
   4 maximum length, 5 enumeration or fixed value, 6 default, 7 nillable,
   9 string, 100 minimum exclusive, 101 maximum exclusive.  An element holds
   at most one value of each role except 5. */

/* Type kind words. */
#define QEL_TYPE_KIND_SIMPLE 1
#define QEL_TYPE_KIND_COMPLEX 3

/* Registered plug-in names. */
#define QEL_PLUGIN_XML "XML Format Extension"
#define QEL_PLUGIN_CWF "Custom Wire Format Extension"
#define QEL_PLUGIN_TDS "Tagged / Delimited Format Extension"
#define QEL_PLUGIN_C "C Language Extension"
#define QEL_PLUGIN_COBOL "COBOL Language Extension"
#define QEL_PLUGIN_WEBDAV "WebDav Plug-in Extension"

/* The release this header describes. */
#define QEL_API_RELEASE "2.60"

/* Release and connection. */
int32_t QELGetAPIReleaseInfo(void* releaseInfo, const char* requiredRelease);
int32_t QELOpenRepository(const char* database, const char* user, const char* password);
int32_t QELCloseRepository(void);
/* The database's own explanation of the last failure of this process's
   connection (a connection that could not be made, a server error), or the
   empty text; never holds a password.  Copies at most size - 1 bytes and a
   NUL; answers its length. */
int32_t QELGetLastErrorText(char* buffer, int32_t size);

/* Message sets (projects). */
int32_t QELFindProject(uint32_t* outHandle, const void* projectKey, int32_t mode);
int32_t QELCreateProject(uint32_t* outHandle, const void* projectDetails);
int32_t QELOpenProject(uint32_t project, int32_t mode);
int32_t QELIsFinalised(uint32_t project);
int32_t QELIsLocked(uint32_t project);
int32_t QELCloseProject(uint32_t project, int32_t commit);

/* Details. */
int32_t QELGetDefaultDetails(int32_t defClass, void* buffer, int32_t size);
int32_t QELGetDetails(uint32_t handle, const int32_t* defClass /* may be NULL */, void* buffer,
                      int32_t size);
int32_t QELGetMemberDetails(uint32_t set, uint32_t member, void* buffer, int32_t size);
int32_t QELGetClass(uint32_t handle, int32_t* outClass);
int32_t QELGetIDValue(uint32_t handle, int32_t* outId);

/* Finds and walks. */
int32_t QELFindDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle, const char* name);
int32_t QELGetFirstDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle,
                              int32_t reserved);
int32_t QELGetNextDefinition(uint32_t current, uint32_t set, uint32_t* outHandle, int32_t walkType,
                             int32_t reserved);

/* Definitions. */
int32_t QELCreateMessage(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateElement(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateType(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateValue(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELDelete(uint32_t handle);

/* Members. */
int32_t QELGetDefaultMemberDetails2(uint32_t parent, uint32_t child, int32_t position,
                                    void* buffer, int32_t size);
int32_t QELInsertMember2(uint32_t parent, uint32_t child, int32_t position,
                         const void* memberRecord, uint32_t* outMember);
int32_t QELRemoveAll(uint32_t handle);

/* Plug-in attributes. */
int32_t QELSetAttrValue(uint32_t component, const void* attrRef, const char* value);
int32_t QELSetMemberAttrValue(uint32_t parent, uint32_t member, const void* attrRef,
                              const char* value);
int32_t QELGetAttrValue(uint32_t component, const void* attrRef, char* buffer, int32_t size);

/* Administration and inspection, used by the kova-repo tool.  The first
   three need the message set open for writing (QELOpenProject mode 1) and take
   effect with the commit of QELCloseProject. */
int32_t QELSetFinalised(uint32_t project, int32_t finalised);
int32_t QELSetLocked(uint32_t project, int32_t locked);
int32_t QELDeleteProject(uint32_t project);
/* The attributes of a component (definition, message set or member) in the
   order they were first set.  *cursor is 0 for the first call; each call
   fills attrRef (plug-in member handle and key) and the value, and advances
   *cursor; -4 after the last. */
int32_t QELGetNextAttrValue(uint32_t component, int32_t* cursor, void* attrRef, char* buffer,
                            int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* QELBEAPI_H */
