// Reading the catalogue files: load a document, count, find and index child
// elements by name, copy attribute values and element text into fixed buffers.
#pragma once

#include "platform/win32/win32.h"

#include <cstddef>
#include <cstdint>

struct IXMLDOMDocument;
struct IXMLDOMNode;

// A non-owning handle to a node of a loaded document, valid until XmlRelease.
// Null is the empty node: no children, no attributes, no text.
typedef IXMLDOMNode* XmlNode;

constexpr size_t kXmlTextCapacity = 20479;

bool XmlLoadDocument(IXMLDOMDocument*& document, const WCHAR* fileName);
// The document's own node: its children are the root element(s).
XmlNode XmlDocumentNode(IXMLDOMDocument* document);
int XmlCountChildren(XmlNode parent, const WCHAR* name);
XmlNode XmlFirstChild(XmlNode parent, XmlNode& result, const WCHAR* name);
XmlNode XmlNthChild(XmlNode parent, XmlNode& result, const WCHAR* name, int n);
// The next element named name after sibling (null when there is none). Walking
// XmlFirstChild then XmlNextChild visits each child once, in order.
XmlNode XmlNextChild(XmlNode sibling, XmlNode& result, const WCHAR* name);
// Leaves the buffer untouched when the attribute is absent.
void XmlGetAttribute(XmlNode element, const WCHAR* name, WCHAR* buffer, size_t capacity);
// A whole number attribute as "%d" reads it from its first 9 characters: true
// and value set when it starts with a number, false and value untouched when
// it is absent or does not.
bool XmlGetNumber(XmlNode element, const WCHAR* name, int32_t& value);
// The element's text, copied into a buffer of at least kXmlTextCapacity characters.
void XmlGetText(XmlNode element, WCHAR* buffer);
void XmlRelease(IXMLDOMDocument*& document);
// The line of the file an element starts on, from 1; 0 when not known.
long XmlLine(XmlNode node);
