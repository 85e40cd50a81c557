// The plug-in attributes of definitions: the XML wire-format layer of the
// message set with its nil settings, XML names, date formats, binary render,
// member renders, and the C and COBOL language names.  Each plug-in keeps its
// own attributes, addressed by its member handle and a key.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "messages.h"
#include "parameters.h"
#include "qelbeapi.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"

namespace {

[[noreturn]] void refuseValue(const std::string& value) {
  throw QELDBException(reportError(9413, {textInsert(value)}));
}

bool isEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

void missing(const char* what) {
  progressPrintf("*****Error - %s is missing or null\n", what);
  run.errSw = 1;
}

// Writes one language-name attribute; the refused value is the name itself.
void setLanguageName(uint32_t componentHandle, uint32_t pluginHandle, int32_t key,
                     const std::string& languageName, const char* caller) {
  AttrRef ref(pluginHandle, key);
  int32_t status = QELSetAttrValue(componentHandle, ref.bytes, languageName.c_str());
  if (status == QEL_STATUS_BAD_VALUE) refuseValue(languageName);
  chkQELBeapiCode(status, "QELSetAttrValue", caller);
  ++run.totals.attributes;
}

}  // namespace

// ---- name rules ----------------------------------------------------------------

std::string cobolName(const char* name) {
  std::string out(name, strnlen(name, 24));
  for (char& c : out) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c == '_')
      c = '-';
    else if (c == ':')
      c = 'C';
    else if (c == '.')
      c = 'P';
  }
  if (!out.empty() && !(out[0] >= 'A' && out[0] <= 'Z')) out[0] = 'C';
  // A COBOL name may not end in a hyphen, which the cut can leave behind.
  while (out.size() > 1 && out.back() == '-') out.pop_back();
  return out;
}

std::string cName(const char* name) {
  std::string out(name);
  for (char& c : out) {
    if (c == '-')
      c = '_';
    else if (c == ':')
      c = 'C';
    else if (c == '.')
      c = 'P';
  }
  return out;
}

std::string copyBookName(const char* name) {
  std::string out;
  for (const char* p = name; *p != '\0' && out.size() < 8; ++p) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) out += c;
  }
  return out + ".CPY";
}

std::string nilAttributeName() {
  return parms.xsiPrefix[0] == '\0' ? std::string("xsi:nil")
                                    : std::string(parms.xsiPrefix) + ":nil";
}

// ---- the XML wire-format layer -----------------------------------------------------

int32_t createXMLtab(const char* layerName) {
  TraceScope trace("createXMLtab");
  uint32_t plugin = 0;
  chkQELBeapiCode(QELFindDefinition(0, QEL_CLASS_PLUGIN, &plugin, QEL_PLUGIN_XML),
                  "QELFindDefinition", "createXMLtab");
  uint32_t layer = 0;
  for (const PluginLayer& l : repo.xmlLayers) {
    if (std::strcmp(nameAt(l.name), layerName) == 0) {
      layer = l.handle;
      break;
    }
  }
  if (layer == 0) {
    unsigned char member[QEL_PLUGIN_MEMBER_SIZE] = {};
    chkQELBeapiCode(QELGetDefaultMemberDetails2(repo.msgSetHandle, plugin, QEL_POSITION_APPEND,
                                                member, sizeof member),
                    "QELGetDefaultMemberDetails2", "createXMLtab");
    putText(member, QEL_OFF_MEMBER_NAME, QEL_PLUGIN_MEMBER_SIZE - QEL_OFF_MEMBER_NAME, layerName);
    chkQELBeapiCode(
        QELInsertMember2(repo.msgSetHandle, plugin, QEL_POSITION_APPEND, member, &layer),
        "QELInsertMember2", "createXMLtab");
    progressPrintf("XML Wire format layer %s successfully added\n", layerName);
    repo.xmlLayers.push_back(PluginLayer{layer, insertName(layerName)});
  }
  createAttribute(layerName, repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_NAME);
  createAttribute("1", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_OPTION_4);
  createAttribute("0", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_OPTION_11);
  createAttribute("", repo.msgSetHandle, layer, QEL_XML_KEY_LAYER_TEXT_8);
  setNillableValues(layer);
  return 0;
}

void setNillableValues(uint32_t layerHandle) {
  TraceScope trace("setNillableValues");
  std::string nilName = nilAttributeName();
  createAttribute("true", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_TRUE_TEXT);
  createAttribute("false", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_FALSE_TEXT);
  createAttribute("0", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_OPTION_14);
  createAttribute(nilName.c_str(), repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_ATTRIBUTE_15);
  createAttribute("0", repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_OPTION_16);
  createAttribute(nilName.c_str(), repo.msgSetHandle, layerHandle, QEL_XML_KEY_NIL_ATTRIBUTE_17);
}

// ---- attributes of definitions ---------------------------------------------------

int32_t createAttribute(const char* value, uint32_t componentHandle, uint32_t pluginHandle,
                        int32_t key) {
  TraceScope trace("createAttribute");
  AttrRef ref(pluginHandle, key);
  int32_t status = QELSetAttrValue(componentHandle, ref.bytes, value);
  if (status == QEL_STATUS_BAD_VALUE) refuseValue(value);
  chkQELBeapiCode(status, "QELSetAttrValue", "createAttribute");
  ++run.totals.attributes;
  return 0;
}

void insertXMLName(uint32_t componentHandle, const char* name, uint32_t layerHandle) {
  TraceScope trace("insertXMLName");
  createAttribute(name, componentHandle, layerHandle, QEL_XML_KEY_XML_NAME);
  if (parms.verbose)
    progressPrintf("Created m_attribute entry for XML Name - id %d  attrId %d name %s\n",
                   static_cast<int32_t>(componentHandle), 0, name);
}

void insertDateFormat(uint32_t componentHandle, const char* dateTemplate, uint32_t layerHandle) {
  TraceScope trace("insertDateFormat");
  if (isEmpty(dateTemplate)) return missing("XML Date format");
  createAttribute(dateTemplate, componentHandle, layerHandle, QEL_XML_KEY_DATE_FORMAT);
}

void insertBinaryRender(uint32_t componentHandle, const char* render, uint32_t layerHandle) {
  TraceScope trace("insertBinaryRender");
  if (isEmpty(render)) return missing("XML boolean render type");
  createAttribute(render, componentHandle, layerHandle, QEL_XML_KEY_BINARY_RENDER);
}

void insertCopyBookName(uint32_t componentHandle, const char* name, uint32_t cobolHandle) {
  TraceScope trace("insertCopyBookName");
  std::string copyBook = copyBookName(name);
  createAttribute(copyBook.c_str(), componentHandle, cobolHandle, QEL_COBOL_KEY_COPY_BOOK);
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for message copy book name %s attrId %d message id %d name "
        "%s\n",
        copyBook.c_str(), 0, static_cast<int32_t>(componentHandle), name);
}

void insertCOBOLName(uint32_t componentHandle, const char* name, uint32_t cobolHandle) {
  TraceScope trace("insertCOBOLName");
  std::string cobol = cobolName(name);
  progressPrintf("CobolName : %s\n", cobol.c_str());
  setLanguageName(componentHandle, cobolHandle, QEL_COBOL_KEY_NAME, cobol, "insertCOBOLName");
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for Cobol Language Name %s elementHandle %8.8x element # %d\n",
        cobol.c_str(), componentHandle, run.totals.elements);
}

void insertCName(uint32_t componentHandle, const char* name, uint32_t cHandle) {
  TraceScope trace("insertCName");
  std::string c = cName(name);
  setLanguageName(componentHandle, cHandle, QEL_C_KEY_NAME, c, "insertCName");
  if (parms.verbose)
    progressPrintf(
        "Created m_attribute entry for C Language Name %s elementHandle %8.8x element # %d\n",
        c.c_str(), componentHandle, run.totals.elements);
}

void insertLanguageNames(uint32_t componentHandle, const char* name) {
  TraceScope trace("insertLanguageNames");
  if (repo.cobolPlugin.handle > 0) insertCOBOLName(componentHandle, name, repo.cobolPlugin.handle);
  if (repo.cPlugin.handle > 0) insertCName(componentHandle, name, repo.cPlugin.handle);
}

void insertMessageCobolNames(uint32_t messageHandle, const char* name) {
  TraceScope trace("insertMessageCobolNames");
  if (repo.cobolPlugin.handle == 0) return;
  insertCopyBookName(messageHandle, name, repo.cobolPlugin.handle);
  insertCOBOLName(messageHandle, name, repo.cobolPlugin.handle);
}

// ---- attributes of members -----------------------------------------------------------

void createMemberAttr(uint32_t parentHandle, uint32_t memberHandle, uint32_t pluginHandle,
                      const char* value, int32_t key) {
  TraceScope trace("createMemberAttr");
  AttrRef ref(pluginHandle, key);
  chkQELBeapiCode(QELSetMemberAttrValue(parentHandle, memberHandle, ref.bytes, value),
                  "QELSetMemberAttrValue", "createMemberAttr");
  ++run.totals.memberAttributes;
  if (parms.verbose)
    progressPrintf(
        "Created m_member_attribute entry for attrId %d parentHandle %8.8x childHandle %8.8x "
        "element # %d\n",
        0, parentHandle, memberHandle, run.totals.elements);
}

void setXmlRender(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                  const char* render) {
  TraceScope trace("setXmlRender");
  if (isEmpty(render)) return missing("XML render type");
  createMemberAttr(parentHandle, memberHandle, layerHandle, render, QEL_XML_KEY_MEMBER_RENDER);
}

void setXmlMemberName(uint32_t parentHandle, uint32_t memberHandle, uint32_t layerHandle,
                      const char* name) {
  TraceScope trace("setXmlMemberName");
  if (isEmpty(name)) return missing("XML name");
  createMemberAttr(parentHandle, memberHandle, layerHandle, name, QEL_XML_KEY_MEMBER_XML_NAME);
}
