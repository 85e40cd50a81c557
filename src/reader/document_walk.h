// The document walk's entry that takes a DOM node (reader-internal: it pulls
// in the parser library's declarations).
#pragma once

#include <cstdint>
#include <xercesc/dom/DOMNode.hpp>

/// Walks `node`, its following siblings and all their descendants into the
/// tags table under `parent`; every new tag gets `schemaId`.  `topLevel` is 1
/// on the call for a document's first node (it only shows in the trace).
void recurseLevel(const xercesc::DOMNode* node, int32_t parent, int32_t schemaId, int32_t topLevel);

/// Reads schema documents by building a DOM tree and walking it (true)
/// instead of by the SAX scan (false, the default).
void setDocumentTreeWalk(bool on);
