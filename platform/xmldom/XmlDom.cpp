#include "platform/xmldom/XmlDom.h"

#include "platform/host/ContentFile.h"

#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Documents larger than this are refused rather than read into memory.
constexpr uint64_t kMaxFileBytes = uint64_t(256) << 20;
// The parse error's code for a document that could not be read or parsed.
constexpr long kLoadFailed = static_cast<long>(E_FAIL);
// Nesting of entity references expanded into the tree.
constexpr int kMaxEntityDepth = 16;

void Silent(void*, const char*, ...) {}
void SilentStructured(void*, xmlErrorPtr) {}

// Nothing outside the document itself is ever read: no external entities, no
// external DTD subsets, whatever the document asks for.
xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr)
{
    return nullptr;
}

// The first error of a parse: it names the fault, while the errors that follow
// it (the parser running into the end of the document) name its consequences.
struct FirstError {
    bool seen = false;
    std::string message;
    int line = 0;
    int column = 0;
};

void KeepFirstError(void* context, xmlErrorPtr error)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    auto* first = parser ? static_cast<FirstError*>(parser->_private) : nullptr;
    if (!first || !error || first->seen || error->level < XML_ERR_ERROR) return;
    first->seen = true;
    first->message = error->message ? error->message : "";
    first->line = error->line;
    first->column = error->int2;
}

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, Silent);
        xmlSetStructuredErrorFunc(nullptr, SilentStructured);
        xmlSetExternalEntityLoader(RefuseExternal);
    });
}

std::wstring Wide(const xmlChar* utf8)
{
    if (!utf8 || !*utf8) return {};
    const char* text = reinterpret_cast<const char*>(utf8);
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    out.pop_back();
    return out;
}

std::wstring QualifiedName(const xmlNs* ns, const xmlChar* name)
{
    std::wstring local = Wide(name);
    if (ns && ns->prefix) return Wide(ns->prefix) + L":" + local;
    return local;
}

// Copies a libxml2 node list into the document, appending to parent's children.
class TreeBuilder {
public:
    TreeBuilder(IXMLDOMDocument& document, xmlDocPtr source) : document_(document), source_(source) {}

    bool Append(IXMLDOMNode* parent, IXMLDOMNode**& tail, xmlNodePtr first, int entityDepth)
    {
        for (xmlNodePtr node = first; node; node = node->next) {
            if (node->type == XML_ENTITY_REF_NODE) {
                if (!ExpandEntity(parent, tail, node, entityDepth)) return false;
                continue;
            }
            IXMLDOMNode* copy = Copy(node);
            if (failed_) return false;
            if (!copy) continue;
            *tail = copy;
            tail = &copy->nextSibling;
            if (node->type == XML_ELEMENT_NODE) {
                IXMLDOMNode** childTail = &copy->firstChild;
                if (!Append(copy, childTail, node->children, entityDepth)) return false;
            }
        }
        return true;
    }

private:
    IXMLDOMNode* New(DOMNodeType type, std::wstring name, std::wstring value)
    {
        document_.characters += name.size() + value.size();
        if (document_.characters > IXMLDOMDocument::kMaxCharacters) {
            failed_ = true;
            return nullptr;
        }
        IXMLDOMNode* node = document_.NewNode();
        if (!node) {
            failed_ = true;
            return nullptr;
        }
        node->type = type;
        node->name = std::move(name);
        node->value = std::move(value);
        return node;
    }

    IXMLDOMNode* Copy(xmlNodePtr node)
    {
        switch (node->type) {
        case XML_ELEMENT_NODE: {
            IXMLDOMNode* element = New(NODE_ELEMENT, QualifiedName(node->ns, node->name), {});
            if (!element) return nullptr;
            element->line = xmlGetLineNo(node);
            for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
                std::wstring name = ns->prefix ? L"xmlns:" + Wide(ns->prefix) : L"xmlns";
                IXMLDOMNode* attribute = New(NODE_ATTRIBUTE, std::move(name), Wide(ns->href));
                if (!attribute) return nullptr;
                element->attributes.push_back(attribute);
            }
            for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
                // Entity references in the value are expanded; libxml2's own
                // amplification limits have bounded them while parsing.
                xmlChar* value = xmlNodeListGetString(source_, attr->children, 1);
                IXMLDOMNode* attribute =
                    New(NODE_ATTRIBUTE, QualifiedName(attr->ns, attr->name), Wide(value));
                xmlFree(value);
                if (!attribute) return nullptr;
                attribute->line = element->line;
                element->attributes.push_back(attribute);
            }
            return element;
        }
        case XML_TEXT_NODE:
            return New(NODE_TEXT, L"#text", Wide(node->content));
        case XML_CDATA_SECTION_NODE:
            return New(NODE_CDATA_SECTION, L"#cdata-section", Wide(node->content));
        case XML_COMMENT_NODE:
            return New(NODE_COMMENT, L"#comment", Wide(node->content));
        case XML_PI_NODE:
            return New(NODE_PROCESSING_INSTRUCTION, Wide(node->name), Wide(node->content));
        case XML_DTD_NODE:
            return New(NODE_DOCUMENT_TYPE, Wide(node->name), {});
        default:
            return nullptr;
        }
    }

    // An internal entity's replacement appears in place of the reference, as
    // a DOM that expands entities shows it. External entities stay empty.
    bool ExpandEntity(IXMLDOMNode* parent, IXMLDOMNode**& tail, xmlNodePtr reference, int entityDepth)
    {
        xmlEntityPtr entity = xmlGetDocEntity(source_, reference->name);
        if (!entity) return true;
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY && entity->etype != XML_INTERNAL_PREDEFINED_ENTITY)
            return true;
        if (entityDepth >= kMaxEntityDepth) return false;
        if (entity->children) return Append(parent, tail, entity->children, entityDepth + 1);
        if (entity->content) {
            IXMLDOMNode* text = New(NODE_TEXT, L"#text", Wide(entity->content));
            if (!text) return false;
            *tail = text;
            tail = &text->nextSibling;
        }
        return true;
    }

    IXMLDOMDocument& document_;
    xmlDocPtr source_;
    bool failed_ = false;
};

void AppendText(const IXMLDOMNode* node, std::wstring& out)
{
    for (const IXMLDOMNode* child = node->firstChild; child; child = child->nextSibling) {
        if (child->type == NODE_TEXT || child->type == NODE_CDATA_SECTION) out += child->value;
        else if (child->type == NODE_ELEMENT) AppendText(child, out);
    }
}

}  // namespace

HRESULT IXMLDOMNode::get_nodeType(DOMNodeType* result) const
{
    if (!result) return E_INVALIDARG;
    *result = type;
    return S_OK;
}

HRESULT IXMLDOMNode::get_nodeName(const WCHAR** result) const
{
    if (!result) return E_INVALIDARG;
    *result = name.c_str();
    return S_OK;
}

HRESULT IXMLDOMNode::get_nodeValue(const WCHAR** result) const
{
    if (!result) return E_INVALIDARG;
    if (type == NODE_ELEMENT || type == NODE_DOCUMENT || type == NODE_DOCUMENT_TYPE) {
        *result = nullptr;
        return S_FALSE;
    }
    *result = value.c_str();
    return S_OK;
}

HRESULT IXMLDOMNode::get_firstChild(IXMLDOMNode** result) const
{
    if (!result) return E_INVALIDARG;
    *result = firstChild;
    return firstChild ? S_OK : S_FALSE;
}

HRESULT IXMLDOMNode::get_nextSibling(IXMLDOMNode** result) const
{
    if (!result) return E_INVALIDARG;
    *result = nextSibling;
    return nextSibling ? S_OK : S_FALSE;
}

HRESULT IXMLDOMNode::get_attributes(IXMLDOMNamedNodeMap* map) const
{
    if (!map) return E_INVALIDARG;
    map->items = &attributes;
    map->next = 0;
    return type == NODE_ELEMENT ? S_OK : S_FALSE;
}

HRESULT IXMLDOMNode::get_text(std::wstring* result) const
{
    if (!result) return E_INVALIDARG;
    result->clear();
    if (type == NODE_ELEMENT || type == NODE_DOCUMENT) AppendText(this, *result);
    else if (type != NODE_DOCUMENT_TYPE) *result = value;
    return S_OK;
}

long IXMLDOMNamedNodeMap::get_length() const
{
    return items ? static_cast<long>(items->size()) : 0;
}

HRESULT IXMLDOMNamedNodeMap::nextNode(IXMLDOMNode** result)
{
    if (!result) return E_INVALIDARG;
    if (!items || next >= items->size()) {
        *result = nullptr;
        return S_FALSE;
    }
    *result = (*items)[next++];
    return S_OK;
}

HRESULT IXMLDOMNamedNodeMap::reset()
{
    next = 0;
    return S_OK;
}

IXMLDOMDocument::IXMLDOMDocument()
{
    type = NODE_DOCUMENT;
    name = L"#document";
}

IXMLDOMNode* IXMLDOMDocument::NewNode()
{
    if (nodes_.size() >= kMaxNodes) return nullptr;
    return &nodes_.emplace_back();
}

void IXMLDOMDocument::Clear()
{
    firstChild = nullptr;
    nodes_.clear();
    characters = 0;
    parseError_ = IXMLDOMParseError{};
}

HRESULT IXMLDOMDocument::get_parseError(IXMLDOMParseError** result)
{
    if (!result) return E_INVALIDARG;
    *result = &parseError_;
    return S_OK;
}

HRESULT IXMLDOMParseError::get_errorCode(long* result) const
{
    if (!result) return E_INVALIDARG;
    *result = errorCode;
    return errorCode ? S_OK : S_FALSE;
}

HRESULT IXMLDOMParseError::get_reason(const WCHAR** result) const
{
    if (!result) return E_INVALIDARG;
    *result = reason.c_str();
    return S_OK;
}

HRESULT IXMLDOMParseError::get_line(long* result) const
{
    if (!result) return E_INVALIDARG;
    *result = line;
    return S_OK;
}

HRESULT IXMLDOMParseError::get_linepos(long* result) const
{
    if (!result) return E_INVALIDARG;
    *result = linepos;
    return S_OK;
}

HRESULT IXMLDOMDocument::put_async(VARIANT_BOOL)
{
    return S_OK;
}

HRESULT IXMLDOMDocument::loadXML(const char* bytes, size_t size, VARIANT_BOOL* success)
{
    if (!success) return E_INVALIDARG;
    *success = VARIANT_FALSE;
    Clear();
    parseError_.errorCode = kLoadFailed;
    if (!bytes || size > kMaxFileBytes) {
        parseError_.reason = L"too large";
        return S_FALSE;
    }
    InitLibrary();

    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (!context) return E_OUTOFMEMORY;
    // No network, no entity substitution by the parser (it would read external
    // entities), no DTD loading; the parser's entity amplification limits stay on.
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    FirstError first;
    context->_private = &first;
    context->sax->serror = KeepFirstError;
    xmlDocPtr source =
        xmlCtxtReadMemory(context, size ? bytes : "", static_cast<int>(size), nullptr, nullptr, options);
    if (!source) {
        // The parser's own words, without the line feed it ends them with.
        std::string message = first.seen && !first.message.empty() ? first.message : "not well-formed";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        parseError_.reason = Wide(reinterpret_cast<const xmlChar*>(message.c_str()));
        parseError_.line = first.line;
        parseError_.linepos = first.column;
    }
    xmlFreeParserCtxt(context);
    if (!source) return S_FALSE;

    TreeBuilder builder(*this, source);
    IXMLDOMNode** tail = &firstChild;
    bool built = builder.Append(this, tail, source->children, 0);
    xmlFreeDoc(source);
    if (!built) {
        Clear();
        parseError_.errorCode = kLoadFailed;
        parseError_.reason = L"too large once its entities are expanded";
        return S_FALSE;
    }
    parseError_ = IXMLDOMParseError{};
    *success = VARIANT_TRUE;
    return S_OK;
}

HRESULT IXMLDOMDocument::load(const WCHAR* fileName, VARIANT_BOOL* success)
{
    if (!success || !fileName) return E_INVALIDARG;
    *success = VARIANT_FALSE;
    Clear();
    int size = WideCharToMultiByte(CP_UTF8, 0, fileName, -1, nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, fileName, -1, path.data(), size, nullptr, nullptr);
    path.pop_back();  // the terminator

    // The file is read here so that the parser itself never opens anything.
    std::vector<uint8_t> bytes;
    if (!host::ReadRegularFile(path, kMaxFileBytes, bytes)) {
        parseError_.errorCode = kLoadFailed;
        parseError_.reason = Wide(reinterpret_cast<const xmlChar*>(host::LastFileError().c_str()));
        return S_FALSE;
    }
    return loadXML(reinterpret_cast<const char*>(bytes.data()), bytes.size(), success);
}

void IXMLDOMDocument::Release()
{
    delete this;
}

HRESULT CreateXMLDOMDocument(IXMLDOMDocument** document)
{
    if (!document) return E_INVALIDARG;
    *document = new (std::nothrow) IXMLDOMDocument();
    return *document ? S_OK : E_OUTOFMEMORY;
}
