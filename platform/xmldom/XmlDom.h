// A small read-only XML document object model in the shape of the COM XML DOM:
// a document of nodes with names, values, children in document order and
// attributes by name. Built over libxml2 with network access, external entities
// and DTD loading off.
#pragma once

#include "platform/win32/win32.h"

#include <deque>
#include <string>
#include <vector>

typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)

enum DOMNodeType {
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
};

struct IXMLDOMNamedNodeMap;

// One node. Names are as the DOM gives them: the qualified name for elements
// and attributes, "#text", "#cdata-section", "#comment", "#document" otherwise.
// Strings returned by pointer stay valid while the document lives.
struct IXMLDOMNode {
    DOMNodeType type = NODE_ELEMENT;
    std::wstring name;
    std::wstring value;  // text, comment, attribute values
    IXMLDOMNode* firstChild = nullptr;
    IXMLDOMNode* nextSibling = nullptr;
    std::vector<IXMLDOMNode*> attributes;  // elements only, in document order
    long line = 0;                         // source line of an element or attribute; 0 unknown

    HRESULT get_nodeType(DOMNodeType* result) const;
    HRESULT get_nodeName(const WCHAR** result) const;
    // Attribute, text, CDATA, comment and processing-instruction nodes have a
    // value; elements and documents answer S_FALSE with null.
    HRESULT get_nodeValue(const WCHAR** result) const;
    // S_FALSE and null when there is none.
    HRESULT get_firstChild(IXMLDOMNode** result) const;
    HRESULT get_nextSibling(IXMLDOMNode** result) const;
    HRESULT get_attributes(IXMLDOMNamedNodeMap* map) const;
    // The concatenated text and CDATA of the node and its descendants.
    HRESULT get_text(std::wstring* result) const;
};

// Walks an element's attributes from the first with nextNode.
struct IXMLDOMNamedNodeMap {
    const std::vector<IXMLDOMNode*>* items = nullptr;
    size_t next = 0;

    long get_length() const;
    // S_FALSE and null after the last attribute.
    HRESULT nextNode(IXMLDOMNode** result);
    HRESULT reset();
};

// Why the last load of a document failed, as the DOM's parse error tells it:
// errorCode 0 after a successful load; otherwise a reason, and the line and
// column (from 1) where the parser stopped, both 0 when the file could not be
// read at all.
struct IXMLDOMParseError {
    long errorCode = 0;
    std::wstring reason;
    long line = 0;
    long linepos = 0;

    HRESULT get_errorCode(long* result) const;
    HRESULT get_reason(const WCHAR** result) const;
    HRESULT get_line(long* result) const;
    HRESULT get_linepos(long* result) const;
};

struct IXMLDOMDocument : public IXMLDOMNode {
public:
    IXMLDOMDocument();
    IXMLDOMDocument(const IXMLDOMDocument&) = delete;
    IXMLDOMDocument& operator=(const IXMLDOMDocument&) = delete;

    // Loads and parses a file synchronously. *success is VARIANT_TRUE when the
    // file was read and is well-formed; the document then holds its nodes.
    HRESULT load(const WCHAR* fileName, VARIANT_BOOL* success);
    // Same for a document already in memory (tests, fuzzing).
    HRESULT loadXML(const char* bytes, size_t size, VARIANT_BOOL* success);
    // Why the last load failed; the object lives as long as the document.
    HRESULT get_parseError(IXMLDOMParseError** result);
    // Loading is always synchronous; accepted for the familiar calling sequence.
    HRESULT put_async(VARIANT_BOOL async);
    // The document as a node: its children are the top-level nodes.
    IXMLDOMNode* AsNode() { return this; }
    // Frees the document (the only reference).
    void Release();

    // Limits that bound the memory one document may take once entity
    // references are expanded.
    static constexpr size_t kMaxNodes = 1u << 20;
    static constexpr size_t kMaxCharacters = 64u << 20;

    IXMLDOMNode* NewNode();
    size_t characters = 0;

private:
    ~IXMLDOMDocument() = default;
    void Clear();
    std::deque<IXMLDOMNode> nodes_;
    IXMLDOMParseError parseError_;
};

// A new empty document; the caller releases it with Release.
HRESULT CreateXMLDOMDocument(IXMLDOMDocument** document);
