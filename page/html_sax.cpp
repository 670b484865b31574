#include "page/html_sax.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlversion.h>

#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>

namespace slotscope {

static_assert(std::is_same_v<xmlChar, SaxChar>);

namespace {

// The parser's structured error handler.
void OnError(void* context, const xmlError* error) {
    SaxReader::Of(context).OnParserError(context, error->code == XML_ERR_NO_MEMORY);
}

// libxml2 2.12 made the error the handler gets const.
#if LIBXML_VERSION >= 21200
constexpr xmlStructuredErrorFunc kOnError = &OnError;
#else
void OnMutableError(void* context, xmlErrorPtr error) {
    OnError(context, error);
}
constexpr xmlStructuredErrorFunc kOnError = &OnMutableError;
#endif

// NOLINTNEXTLINE(cert-dcl50-cpp): the parser's message handler has a C variadic signature
void IgnoreMessage(void* /*context*/, const char* /*format*/, ...) {}

void InitParserOnce() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

struct ParserDeleter {
    void operator()(htmlParserCtxtPtr parser) const { htmlFreeParserCtxt(parser); }
};

}  // namespace

SaxReader& SaxReader::Of(void* context) {
    return *static_cast<SaxReader*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void SaxReader::OnParserError(void* context, bool outOfMemory) {
    if (halted_) {
        return;
    }
    if (outOfMemory) {
        Fail(context, std::make_exception_ptr(std::bad_alloc()));
        return;
    }
    const std::uint64_t cost = depth_ + kErrorBaseCost;
    if (cost > budget_) {
        unreadable_ = true;
        Halt(context);
        return;
    }
    budget_ -= cost;
}

void SaxReader::Fail(void* context, std::exception_ptr failure) {
    if (failure_ == nullptr) {
        failure_ = std::move(failure);
    }
    Halt(context);
}

void SaxReader::Halt(void* context) {
    halted_ = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

bool ParseHtml(std::string_view input, const SaxCallbacks& callbacks, SaxReader& reader) {
    InitParserOnce();
    // Errors are the reader's to count; some (a buffer that cannot grow) would otherwise be
    // printed. The handler is the calling thread's own.
    xmlSetGenericErrorFunc(nullptr, &IgnoreMessage);
    if (input.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return false;
    }
    // A parser of the bytes as they are: UTF-8 already, so neither guessed at nor passed through
    // an encoder that copies them again (which a named encoding would do).
    const std::unique_ptr<htmlParserCtxt, ParserDeleter> parser(
        input.empty() ? htmlNewParserCtxt()
                      : htmlCreateMemoryParserCtxt(input.data(), static_cast<int>(input.size())));
    if (parser == nullptr) {
        throw std::bad_alloc();
    }
    parser->charset = XML_CHAR_ENCODING_UTF8;
    htmlSAXHandler handler{};
    handler.startElement = callbacks.start;
    handler.endElement = callbacks.end;
    handler.characters = callbacks.text;
    handler.ignorableWhitespace = callbacks.text;
    // The contents of script and style come as CDATA and are no text of the page; without a
    // handler of its own the parser would hand them over as text.
    handler.cdataBlock = [](void* /*context*/, const xmlChar* /*text*/, int /*length*/) {};
    handler.serror = kOnError;
    handler.initialized = XML_SAX2_MAGIC;  // so that serror is used
    *parser->sax = handler;
    parser->_private = &reader;

    // The text is decoded already: the page's own charset declarations must not decode it again.
    htmlCtxtUseOptions(parser.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                                         HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                         HTML_PARSE_IGNORE_ENC);
    if (!input.empty()) {
        htmlParseDocument(parser.get());
    }
    if (parser->myDoc != nullptr) {
        xmlFreeDoc(parser->myDoc);
        parser->myDoc = nullptr;
    }
    if (reader.failure() != nullptr) {
        std::rethrow_exception(reader.failure());
    }
    return true;
}

}  // namespace slotscope
