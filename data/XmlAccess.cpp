#include "data/XmlAccess.h"

#include "platform/xmldom/XmlDom.h"

#include <cwchar>
#include <string>

namespace {

// Exact, case-sensitive comparison; only elements carry element names (text and
// comment nodes are named "#text", "#comment").
bool IsElementNamed(const IXMLDOMNode* node, const WCHAR* name)
{
    DOMNodeType type;
    const WCHAR* nodeName = nullptr;
    if (node->get_nodeType(&type) != S_OK || type != NODE_ELEMENT) return false;
    if (node->get_nodeName(&nodeName) != S_OK || !nodeName || !name) return false;
    size_t length = std::wcslen(name);
    return std::wcslen(nodeName) == length && std::wcsncmp(nodeName, name, length) == 0;
}

bool IsXmlSpace(WCHAR c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// Trims the text and folds every inner run of white space to one space, so a
// text written over several lines reads as one line.
std::wstring FoldWhiteSpace(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (WCHAR c : text) {
        if (IsXmlSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) out += L' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

}  // namespace

bool XmlLoadDocument(IXMLDOMDocument*& document, const WCHAR* fileName)
{
    document = nullptr;
    if (CreateXMLDOMDocument(&document) != S_OK || !document) {
        document = nullptr;
        return false;
    }
    document->put_async(VARIANT_FALSE);
    VARIANT_BOOL success = VARIANT_FALSE;
    HRESULT result = document->load(fileName, &success);
    if (result == S_OK && success == VARIANT_TRUE) return true;
    // Name the file and what is wrong with it, where the parser can tell.
    IXMLDOMParseError* error = nullptr;
    const WCHAR* reason = nullptr;
    long line = 0, column = 0;
    if (document->get_parseError(&error) == S_OK && error) {
        error->get_reason(&reason);
        error->get_line(&line);
        error->get_linepos(&column);
    }
    if (line > 0)
        LogPrintf("Cannot load \"%ls\": line %ld, column %ld: %ls\n", fileName, line, column,
                  reason ? reason : L"");
    else LogPrintf("Cannot load \"%ls\": %ls\n", fileName, reason && *reason ? reason : L"unreadable");
    document->Release();
    document = nullptr;
    return false;
}

XmlNode XmlDocumentNode(IXMLDOMDocument* document)
{
    return document ? document->AsNode() : nullptr;
}

int XmlCountChildren(XmlNode parent, const WCHAR* name)
{
    if (!parent) return 0;
    int count = 0;
    IXMLDOMNode* child = nullptr;
    for (parent->get_firstChild(&child); child; child->get_nextSibling(&child))
        if (IsElementNamed(child, name)) ++count;
    return count;
}

XmlNode XmlFirstChild(XmlNode parent, XmlNode& result, const WCHAR* name)
{
    return XmlNthChild(parent, result, name, 0);
}

XmlNode XmlNthChild(XmlNode parent, XmlNode& result, const WCHAR* name, int n)
{
    result = nullptr;
    if (!parent || n < 0) return result;
    int index = 0;
    IXMLDOMNode* child = nullptr;
    for (parent->get_firstChild(&child); child; child->get_nextSibling(&child)) {
        if (!IsElementNamed(child, name)) continue;
        if (index++ == n) {
            result = child;
            break;
        }
    }
    return result;
}

XmlNode XmlNextChild(XmlNode sibling, XmlNode& result, const WCHAR* name)
{
    result = nullptr;
    if (!sibling) return result;
    IXMLDOMNode* next = nullptr;
    for (sibling->get_nextSibling(&next); next; next->get_nextSibling(&next))
        if (IsElementNamed(next, name)) return result = next;
    return result;
}

void XmlGetAttribute(XmlNode element, const WCHAR* name, WCHAR* buffer, size_t capacity)
{
    if (!element || !name || !buffer || capacity == 0) return;
    IXMLDOMNamedNodeMap attributes;
    if (element->get_attributes(&attributes) != S_OK) return;
    size_t length = std::wcslen(name);
    IXMLDOMNode* attribute = nullptr;
    while (attributes.nextNode(&attribute) == S_OK && attribute) {
        const WCHAR* attributeName = nullptr;
        if (attribute->get_nodeName(&attributeName) != S_OK || !attributeName) continue;
        if (std::wcslen(attributeName) != length || std::wcsncmp(attributeName, name, length) != 0) continue;
        const WCHAR* value = nullptr;
        attribute->get_nodeValue(&value);
        wcsncpy_s(buffer, capacity, value ? value : L"", _TRUNCATE);
        return;
    }
}

void XmlGetText(XmlNode element, WCHAR* buffer)
{
    if (!buffer) return;
    std::wstring text;
    if (element) element->get_text(&text);
    wcsncpy_s(buffer, kXmlTextCapacity, FoldWhiteSpace(text).c_str(), _TRUNCATE);
}

void XmlRelease(IXMLDOMDocument*& document)
{
    if (!document) return;
    document->Release();
    document = nullptr;
}

bool XmlGetNumber(XmlNode element, const WCHAR* name, int32_t& value)
{
    WCHAR number[10] = {};
    XmlGetAttribute(element, name, number, 10);
    int read = 0;
    if (std::swscanf(number, L"%d", &read) != 1) return false;
    value = read;
    return true;
}

long XmlLine(XmlNode node)
{
    return node ? node->line : 0;
}
