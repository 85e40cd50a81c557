/*
 * qelbeapi.h: the repository back-end API.
 *
 * A C-callable library that keeps message sets (projects) of messages,
 * elements, types and values with their members and plug-in attributes in a
 * repository database.  This header is the library's only public interface.
 *
 * Conventions:
 *  - every function returns an int32_t status: QEL_STATUS_OK (0) for
 *    success, otherwise one of the negative QEL_STATUS_ codes below
 *    (QEL_STATUS_NOT_FOUND is the normal end of a find or a walk); the
 *    comment on each call names what it requires and which statuses it
 *    answers (without the QEL_STATUS_ prefix); QELStatusText gives the text
 *    of any status, and QELIsFinalised / QELIsLocked answer 1 or 0 when they
 *    succeed; any call that reaches the database may also answer
 *    DATABASE_ERROR, WRITER_ACTIVE (another process holds the write lock) or
 *    FAILURE (out of memory);
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

/* Statuses.  Every call answers 0 or one of these negative codes; the
   values are fixed and never change meaning.  QELStatusText gives the text of
   any status. */
#define QEL_STATUS_OK 0
#define QEL_STATUS_FAILURE (-1)            /* general failure (out of memory) */
#define QEL_STATUS_NOT_PROJECT (-2)        /* the handle is not a message set */
#define QEL_STATUS_BAD_CLASS (-3)          /* no such class here, or a class word not matching */
#define QEL_STATUS_NOT_FOUND (-4)          /* nothing found: the normal end of a find or a walk */
#define QEL_STATUS_BAD_WALK (-5)           /* unknown walk type */
#define QEL_STATUS_NOT_CHILD (-6)          /* the member does not belong to that parent */
#define QEL_STATUS_BAD_HANDLE (-8)         /* the handle names nothing */
#define QEL_STATUS_BAD_BUFFER (-10)        /* a buffer is missing or smaller than its record */
#define QEL_STATUS_BAD_DETAILS (-11)       /* a details record is malformed */
#define QEL_STATUS_BAD_MEMBER (-12)        /* a member record is malformed */
#define QEL_STATUS_BAD_TYPE (-14)          /* a type handle is not a type of the same message set */
#define QEL_STATUS_ALREADY_MEMBER (-22)    /* the element already has this value in this role */
#define QEL_STATUS_CIRCULAR (-27)          /* the member would make a definition contain itself */
#define QEL_STATUS_BAD_CATEGORY (-30)      /* a type kind word other than simple or complex */
#define QEL_STATUS_NOT_VALID_FOR (-31)     /* the call does not apply to this kind of component */
#define QEL_STATUS_BAD_IDENTIFIER (-32)    /* an identifier the repository refuses */
#define QEL_STATUS_DUPLICATE (-33)         /* the identifier or layer name is taken */
#define QEL_STATUS_PROJECT_EXISTS (-36)    /* the message set name is taken */
#define QEL_STATUS_BAD_PROJECT (-37)       /* the handle given as message set is not one */
#define QEL_STATUS_BAD_NAME (-38)          /* a message set or layer name the repository refuses */
#define QEL_STATUS_NOT_PERMITTED (-41)     /* not allowed in this state or on this connection */
#define QEL_STATUS_PROJECT_OPEN (-42)      /* a message set is already open */
#define QEL_STATUS_PROJECT_NOT_OPEN (-43)  /* no message set is open */
#define QEL_STATUS_NOT_OPEN_FOR_WRITE (-44) /* the message set is not open for writing */
#define QEL_STATUS_FINALISED (-55)         /* the message set is finalised */
#define QEL_STATUS_REFERENCED (-63)        /* still a member or the type of something */
#define QEL_STATUS_BAD_DATABASE (-64)      /* the file is not a repository */
#define QEL_STATUS_NO_PROJECT (-66)        /* the open message set was deleted */
#define QEL_STATUS_WRITER_ACTIVE (-69)     /* another writer holds the repository */
#define QEL_STATUS_CANNOT_CONNECT (-73)    /* not connected, or the database cannot be opened */
#define QEL_STATUS_NO_DATABASE_NAME (-74)  /* no database name, or no such repository to read */
#define QEL_STATUS_READ_ONLY (-76)         /* the message set is locked */
#define QEL_STATUS_BAD_RELEASE (-77)       /* the required release is not served */
#define QEL_STATUS_UNDEFINED_KEY (-78)     /* the plug-in defines no such key on this component */
#define QEL_STATUS_BAD_VALUE (-80)         /* an attribute value the plug-in refuses */
#define QEL_STATUS_BAD_PLUGIN (-82)        /* not a plug-in member of the component's message set */
#define QEL_STATUS_DATABASE_ERROR (-92)    /* the database failed underneath */
#define QEL_STATUS_BAD_BASE (-93)          /* the base type is not a type of the message set */
#define QEL_STATUS_BAD_COMPOSITION (-94)   /* composition code out of range */
#define QEL_STATUS_BAD_CONTENT (-95)       /* content code out of range */
#define QEL_STATUS_BAD_ROLE (-96)          /* unknown value role */
#define QEL_STATUS_BAD_MIN_OCCURS (-97)    /* minimum occurrences not a decimal count */
#define QEL_STATUS_BAD_MAX_OCCURS (-98)    /* maximum occurrences not a count, or below minimum */
#define QEL_STATUS_BAD_REPEAT (-100)       /* repeat flag other than 0 or 1 */
#define QEL_STATUS_ROLE_TAKEN (-101)       /* the element already has a value of this single role */

/* Definition class codes. */
#define QEL_CLASS_PROJECT 1
#define QEL_CLASS_PLUGIN 2
#define QEL_CLASS_MESSAGE 102
#define QEL_CLASS_ELEMENT 103
#define QEL_CLASS_TYPE 104
#define QEL_CLASS_VALUE 106

/* Classes that a message set may hold but this library never creates; finds
   and walks over them answer QEL_STATUS_NOT_FOUND. */
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
#define QEL_OFF_RECORD_SET 8    /* uint32 owning message set, 0 for none (filled by the library) */
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

/* Value roles, at QEL_OFF_MEMBER_ROLE of a value member.  An element holds at
   most one value of each role except QEL_ROLE_ENUMERATION, and a value once
   in each role (one value may stand in several: a fixed value is the default
   and the one enumeration). */
#define QEL_ROLE_MIN_INCLUSIVE 1
#define QEL_ROLE_MAX_INCLUSIVE 2
#define QEL_ROLE_MIN_LENGTH 3
#define QEL_ROLE_MAX_LENGTH 4
#define QEL_ROLE_ENUMERATION 5 /* an enumeration, or the fixed value */
#define QEL_ROLE_DEFAULT 6
#define QEL_ROLE_NILLABLE 7
#define QEL_ROLE_STRING 9
#define QEL_ROLE_MIN_EXCLUSIVE 100
#define QEL_ROLE_MAX_EXCLUSIVE 101

/* Type kind words, at QEL_OFF_TYPE_KIND of a type. */
#define QEL_TYPE_KIND_SIMPLE 1
#define QEL_TYPE_KIND_COMPLEX 3

/* Type compositions, at QEL_OFF_COMPOSITION (0 to 6 are accepted). */
#define QEL_COMPOSITION_NONE 0
#define QEL_COMPOSITION_EMPTY 1      /* no members; also the simple types */
#define QEL_COMPOSITION_CHOICE 2
#define QEL_COMPOSITION_ATTRIBUTES 3 /* members begun by an attribute */
#define QEL_COMPOSITION_ALL 4        /* any order; also attributes only */
#define QEL_COMPOSITION_RESERVED 5
#define QEL_COMPOSITION_SEQUENCE 6

/* Type contents, at QEL_OFF_CONTENT (0 to 3 are accepted). */
#define QEL_CONTENT_NONE 0
#define QEL_CONTENT_ORDINARY 1 /* only the members named */
#define QEL_CONTENT_RESERVED 2
#define QEL_CONTENT_OPEN 3     /* a wildcard admits further content */

/* Registered plug-in names. */
#define QEL_PLUGIN_XML "XML Format Extension"
#define QEL_PLUGIN_CWF "Custom Wire Format Extension"
#define QEL_PLUGIN_TDS "Tagged / Delimited Format Extension"
#define QEL_PLUGIN_C "C Language Extension"
#define QEL_PLUGIN_COBOL "COBOL Language Extension"
#define QEL_PLUGIN_WEBDAV "WebDav Plug-in Extension"

/* Attribute keys, at QEL_OFF_ATTR_KEY of an attribute reference.  A key means
   something only together with its plug-in; each plug-in defines its keys on
   one kind of component, and any other key answers QEL_STATUS_UNDEFINED_KEY.
   Values are texts of at most 254 bytes.
   XML layer, on the message set (the layer's settings): */
#define QEL_XML_KEY_LAYER_NAME 1
#define QEL_XML_KEY_LAYER_OPTION_4 4   /* the importer writes "1" */
#define QEL_XML_KEY_LAYER_TEXT_8 8     /* the importer writes "" */
#define QEL_XML_KEY_LAYER_OPTION_11 11 /* the importer writes "0" */
#define QEL_XML_KEY_NIL_TRUE_TEXT 12   /* "true" */
#define QEL_XML_KEY_NIL_FALSE_TEXT 13  /* "false" */
#define QEL_XML_KEY_NIL_OPTION_14 14   /* the importer writes "0" */
#define QEL_XML_KEY_NIL_ATTRIBUTE_15 15 /* the nil attribute name, "xsi:nil" */
#define QEL_XML_KEY_NIL_OPTION_16 16   /* the importer writes "0" */
#define QEL_XML_KEY_NIL_ATTRIBUTE_17 17 /* the nil attribute name, "xsi:nil" */
/* XML layer, on a message, element, type or value: */
#define QEL_XML_KEY_XML_NAME 30
#define QEL_XML_KEY_DATE_FORMAT 31
#define QEL_XML_KEY_BINARY_RENDER 32 /* "1" hexadecimal, "2" base 64 */
/* XML layer, on a type member: */
#define QEL_XML_KEY_MEMBER_XML_NAME 100
#define QEL_XML_KEY_MEMBER_RENDER 101 /* "1": the member is an XML attribute */
/* Custom wire format layer, on a type member: */
#define QEL_CWF_KEY_MEMBER_RENDER 1
/* COBOL, on a definition (a name is checked as a COBOL word; the copy book
   name as 1 to 8 letters or digits and ".CPY"): */
#define QEL_COBOL_KEY_COPY_BOOK 5
#define QEL_COBOL_KEY_NAME 7
/* C, on a definition (checked as a C identifier): */
#define QEL_C_KEY_NAME 8
/* WebDav, on the message set (writable also when it is finalised or locked): */
#define QEL_WEBDAV_KEY_MARKER 1     /* the importer writes "QEL" */
#define QEL_WEBDAV_KEY_LOCK_COUNT 2 /* decimal, or 0x hexadecimal, or 0 octal */

/* Position of QELGetDefaultMemberDetails2 and QELInsertMember2: append. */
#define QEL_POSITION_APPEND (-1)

/* Modes of QELOpenRepository2 and QELOpenProject. */
#define QEL_OPEN_READ 0
#define QEL_OPEN_WRITE 1

/* Code sets of QELCodeName. */
#define QEL_CODES_CLASS 1
#define QEL_CODES_MEMBER_KIND 2
#define QEL_CODES_TYPE_KIND 3
#define QEL_CODES_COMPOSITION 4
#define QEL_CODES_CONTENT 5
#define QEL_CODES_ROLE 6

/* The release this header describes, and the release record of
   QELGetAPIReleaseInfo: uint32 size, then the library's major and minor
   release. */
#define QEL_API_RELEASE "2.60"
#define QEL_RELEASE_INFO_SIZE 20
#define QEL_OFF_RELEASE_MAJOR 4
#define QEL_OFF_RELEASE_MINOR 8

/* ---- Statuses and names ---------------------------------------------------
   These three never fail and need no connection. */

/* The text of a status: one text for each of 0 to -102, "Internal error"
   for every other value.  The text is static. */
const char* QELStatusText(int32_t status);
/* The name of a code of one of the QEL_CODES_ sets ("message", "complex",
   "sequence", "enumeration", ...); NULL for a code the set lacks. */
const char* QELCodeName(int32_t codeSet, int32_t code);
/* The name of attribute key `key` of the plug-in registered as `plugin`
   ("xmlName", "cobolName", "lockCount", ...); NULL when it defines none. */
const char* QELAttrKeyName(const char* plugin, int32_t key);

/* ---- Release and connection ----------------------------------------------- */

/* releaseInfo: a record whose first uint32 is its size (at least
   QEL_RELEASE_INFO_SIZE); the library fills its release.  Answers 0 when the library serves
   requiredRelease ("2.60" and earlier 2.x); QEL_STATUS_BAD_RELEASE otherwise,
   QEL_STATUS_BAD_BUFFER for a missing or short record. */
int32_t QELGetAPIReleaseInfo(void* releaseInfo, const char* requiredRelease);
/* Connects the process to the repository file `database` for reading and
   writing, creating and initialising it when it does not exist (the set-up
   becomes durable with the first commit, or at QELCloseRepository).  user and
   password are not used by a file repository.  A connection already open
   is ended first, its uncommitted work discarded.  Statuses: 0,
   NO_DATABASE_NAME (empty name), CANNOT_CONNECT (cannot be opened or
   created), BAD_DATABASE (not a repository), WRITER_ACTIVE, DATABASE_ERROR. */
int32_t QELOpenRepository(const char* database, const char* user, const char* password);
/* As QELOpenRepository with mode QEL_OPEN_WRITE.  With QEL_OPEN_READ the
   repository must exist and is never created or changed: a missing file
   answers NO_DATABASE_NAME, a file that is not a repository BAD_DATABASE;
   opening a message set for writing or creating one then answers
   NOT_PERMITTED. */
int32_t QELOpenRepository2(const char* database, const char* user, const char* password,
                           int32_t mode);
/* Ends the connection; a message set still open is discarded.  A file that
   QELOpenRepository created is kept as a repository even when nothing was
   committed; it is left empty only when the process ends without closing.
   Statuses: 0, NOT_PERMITTED when not connected, WRITER_ACTIVE or
   DATABASE_ERROR when a new file's set-up cannot be committed. */
int32_t QELCloseRepository(void);
/* The database's own explanation of the last failure of this process's
   connection (a connection that could not be made, a server error), or the
   empty text; never holds a password.  Copies at most size - 1 bytes and a
   NUL; answers its length. */
int32_t QELGetLastErrorText(char* buffer, int32_t size);

/* ---- Message sets (projects) ------------------------------------------------
   Connected first; otherwise CANNOT_CONNECT. */

/* projectKey: the name (QEL_NAME_SIZE bytes, NUL-terminated) then int16 1.
   mode: the access the caller means to ask for (QEL_OPEN_WRITE for an
   import); the find itself does not depend on it.  Sets *outHandle (0 when
   not found).  Statuses: 0, NOT_FOUND, BAD_NAME,
   BAD_DETAILS, BAD_BUFFER. */
int32_t QELFindProject(uint32_t* outHandle, const void* projectKey, int32_t mode);
/* projectDetails: a QEL_PROJECT_DETAILS_SIZE record with the name at
   QEL_OFF_PROJECT_NAME.  Creates the message set with its seven simple types
   and plug-in members C, COBOL and WebDav, and leaves it open for writing
   (commit with QELCloseProject).  Statuses: 0, PROJECT_OPEN, BAD_NAME,
   PROJECT_EXISTS, WRITER_ACTIVE, NOT_PERMITTED (read-only connection). */
int32_t QELCreateProject(uint32_t* outHandle, const void* projectDetails);
/* Opens a message set: mode QEL_OPEN_READ, or QEL_OPEN_WRITE, which starts
   the one write transaction.  Statuses: 0, PROJECT_OPEN, NOT_PROJECT,
   BAD_HANDLE, WRITER_ACTIVE, NOT_PERMITTED (other mode, or writing on a
   read-only connection). */
int32_t QELOpenProject(uint32_t project, int32_t mode);
/* 1 when the message set is finalised / locked, 0 when not; a negative
   status (BAD_HANDLE, NOT_PROJECT, CANNOT_CONNECT) otherwise. */
int32_t QELIsFinalised(uint32_t project);
int32_t QELIsLocked(uint32_t project);
/* Closes the open message set; commit 1 keeps its changes, anything else
   discards them.  Statuses: 0, PROJECT_NOT_OPEN, WRITER_ACTIVE (the commit
   could not take the lock: still open, retry or discard), DATABASE_ERROR
   (the changes are lost). */
int32_t QELCloseProject(uint32_t project, int32_t commit);

/* ---- Details ------------------------------------------------------------------ */

/* Fills `buffer` with the defaults of class `defClass` (no connection
   needed): a type is complex, composition EMPTY and content ORDINARY.
   Statuses: 0, BAD_CLASS, BAD_BUFFER (size below the class's record). */
int32_t QELGetDefaultDetails(int32_t defClass, void* buffer, int32_t size);
/* Fills `buffer` with the details of a definition (a plug-in member answers
   with its plug-in's).  defClass, when not NULL, must match.  Statuses: 0,
   BAD_HANDLE, BAD_CLASS, BAD_BUFFER, NOT_VALID_FOR (a type or value member). */
int32_t QELGetDetails(uint32_t handle, const int32_t* defClass /* may be NULL */, void* buffer,
                      int32_t size);
/* Fills `buffer` with a member record of `set` (or of a parent definition).
   Statuses: 0, BAD_HANDLE, NOT_VALID_FOR (not a member), NOT_CHILD,
   BAD_BUFFER. */
int32_t QELGetMemberDetails(uint32_t set, uint32_t member, void* buffer, int32_t size);
/* The class of a definition.  Statuses: 0, BAD_HANDLE, NOT_VALID_FOR (a
   member), BAD_BUFFER. */
int32_t QELGetClass(uint32_t handle, int32_t* outClass);
/* The identifier of a component.  Statuses: 0, BAD_HANDLE, BAD_BUFFER. */
int32_t QELGetIDValue(uint32_t handle, int32_t* outId);

/* ---- Finds and walks ------------------------------------------------------------
   Everything is found and walked in creation order.  *outHandle is 0 unless
   the answer is 0. */

/* The definition of class `defClass` named `name` in `set` (set 0 with the
   message set or plug-in class).  Statuses: 0, NOT_FOUND, BAD_CLASS,
   BAD_PROJECT, BAD_HANDLE, BAD_NAME, BAD_BUFFER. */
int32_t QELFindDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle, const char* name);
/* The first definition of a class.  Statuses as QELFindDefinition. */
int32_t QELGetFirstDefinition(uint32_t set, int32_t defClass, uint32_t* outHandle,
                              int32_t reserved);
/* The next definition after `current` (QEL_WALK_NEXT), the first member of
   `current` (QEL_WALK_FIRST_MEMBER), or the first plug-in member of the
   message set `current` (QEL_WALK_PLUGIN_MEMBER).  Statuses: 0, NOT_FOUND
   (end of the walk), BAD_WALK, BAD_HANDLE, BAD_PROJECT, NOT_PROJECT. */
int32_t QELGetNextDefinition(uint32_t current, uint32_t set, uint32_t* outHandle, int32_t walkType,
                             int32_t reserved);

/* ---- Definitions -------------------------------------------------------------------
   The changing calls below need `set` open for writing (PROJECT_NOT_OPEN,
   NOT_OPEN_FOR_WRITE, NO_PROJECT after QELDeleteProject, CANNOT_CONNECT)
   and neither finalised (FINALISED) nor locked (READ_ONLY): the
   "writability" statuses. */

/* Create a definition from a details record of its class: identifier at
   QEL_OFF_NAME, second name at QEL_OFF_SECOND_NAME, and the type handle
   (element, message, value: required for a value), or kind, base type,
   composition and content (type), and the value text (value).  Statuses:
   0, BAD_IDENTIFIER, DUPLICATE, BAD_NAME, BAD_TYPE, BAD_HANDLE,
   BAD_CATEGORY, BAD_BASE, BAD_COMPOSITION, BAD_CONTENT, BAD_DETAILS,
   BAD_BUFFER. */
int32_t QELCreateMessage(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateElement(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateType(uint32_t set, uint32_t* outHandle, const void* details);
int32_t QELCreateValue(uint32_t set, uint32_t* outHandle, const void* details);
/* Deletes a definition with its members and attributes, or one member.
   Statuses: 0, BAD_HANDLE, NOT_VALID_FOR (message set, plug-in or plug-in
   member), REFERENCED (still a member or type of something). */
int32_t QELDelete(uint32_t handle);

/* ---- Members ------------------------------------------------------------------------ */

/* Fills a member record for parent and child: a plug-in member of a message
   set, a type member (element or type in a type) or a value member (value of
   an element).  Statuses: 0, BAD_HANDLE, NOT_VALID_FOR, BAD_BUFFER. */
int32_t QELGetDefaultMemberDetails2(uint32_t parent, uint32_t child, int32_t position,
                                    void* buffer, int32_t size);
/* Appends a member (position -1; other positions answer NOT_PERMITTED).
   Statuses besides the writability ones: 0, BAD_HANDLE, NOT_VALID_FOR,
   BAD_MEMBER, BAD_NAME, DUPLICATE (layer name), BAD_REPEAT, BAD_MIN_OCCURS,
   BAD_MAX_OCCURS, BAD_ROLE, ALREADY_MEMBER, ROLE_TAKEN, CIRCULAR,
   BAD_BUFFER. */
int32_t QELInsertMember2(uint32_t parent, uint32_t child, int32_t position,
                         const void* memberRecord, uint32_t* outMember);
/* Removes every type and value member of a definition.  Statuses: 0,
   BAD_HANDLE, NOT_VALID_FOR. */
int32_t QELRemoveAll(uint32_t handle);

/* ---- Plug-in attributes --------------------------------------------------------------
   attrRef: a QEL_ATTR_REF_SIZE record, zero but for the plug-in member handle
   at QEL_OFF_ATTR_PLUGIN and the key at QEL_OFF_ATTR_KEY. */

/* Sets an attribute of a message set or definition / of a type member.
   Statuses besides the writability ones: 0, BAD_HANDLE, NOT_VALID_FOR,
   NOT_CHILD, BAD_PLUGIN, UNDEFINED_KEY, BAD_VALUE, BAD_BUFFER. */
int32_t QELSetAttrValue(uint32_t component, const void* attrRef, const char* value);
int32_t QELSetMemberAttrValue(uint32_t parent, uint32_t member, const void* attrRef,
                              const char* value);
/* Reads an attribute into `buffer` (QEL_ATTR_VALUE_SIZE is enough).
   Statuses: 0, NOT_FOUND (not set), BAD_HANDLE, NOT_VALID_FOR, BAD_PLUGIN,
   UNDEFINED_KEY, BAD_BUFFER. */
int32_t QELGetAttrValue(uint32_t component, const void* attrRef, char* buffer, int32_t size);

/* ---- Administration and inspection ---------------------------------------------------
   The first three need the message set open for writing and take effect
   with the commit of QELCloseProject; they are allowed on a finalised or
   locked message set.  Statuses: 0, BAD_HANDLE, NOT_PROJECT, and the
   writability ones. */
int32_t QELSetFinalised(uint32_t project, int32_t finalised);
int32_t QELSetLocked(uint32_t project, int32_t locked);
int32_t QELDeleteProject(uint32_t project);
/* The attributes of a component (definition, message set or member) in the
   order they were first set.  *cursor is 0 for the first call; each call
   fills attrRef (plug-in member handle and key) and the value, and advances
   *cursor.  Statuses: 0, NOT_FOUND after the last, BAD_HANDLE, BAD_BUFFER. */
int32_t QELGetNextAttrValue(uint32_t component, int32_t* cursor, void* attrRef, char* buffer,
                            int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* QELBEAPI_H */
