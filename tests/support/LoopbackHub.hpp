#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A model hub on 127.0.0.1 with an ephemeral port. It serves tree listings
// ("/api/models/<owner>/<repo>/tree/main[/<folder>]", paginated by "Link" with a page size the test sets)
// and files ("/<owner>/<repo>/resolve/main/<path>", with "Range", "ETag", "Last-Modified" and "If-Range"),
// plays scripted faults, and records every request it receives. It changes nothing in the process: tests
// point the toolkit at baseURL() through "REGISTRY_URL".
class LoopbackHub {
public:
    using Headers = std::vector<std::pair<std::string, std::string>>;

    struct File {
        std::string content;
        // Validators sent with the file and accepted in "If-Range"; absent ones are not sent.
        std::optional<std::string> etag;
        std::optional<std::string> lastModified;
        std::string contentType = "application/octet-stream";
    };

    // What the hub does with one request instead of its normal answer: a canned answer (status, headers,
    // body), or the normal answer with its body cut off or held back after some bytes.
    struct Fault {
        // 0 serves the normal answer.
        int status = 0;
        Headers headers;
        std::string body;
        std::string contentType = "text/plain";
        // The connection is closed after this many body bytes of the normal answer.
        std::optional<std::size_t> dropAfterBytes;
        // A slow body: after this many bytes of the normal answer nothing more is sent until the client goes
        // away or the hub stops.
        std::optional<std::size_t> stallAfterBytes;
        // The normal answer is sent without a length, so a cut looks like the end of the body.
        bool withoutLength = false;

        static Fault answer(int status, std::string body = {}, Headers headers = {});
        // An HTML error page, served as "text/html; charset=utf-8".
        static Fault html(int status);
        static Fault redirect(const std::string& location, int status = 302);
        static Fault dropAfter(std::size_t bytes);
        static Fault stallAfter(std::size_t bytes);
        static Fault dropWithoutLengthAfter(std::size_t bytes);
    };

    struct RecordedRequest {
        std::string method;
        // Percent escapes decoded, without the query.
        std::string path;
        // The request target as sent, query included.
        std::string target;
        Headers headers;

        // The first header of that name, compared without regard to letter case.
        std::optional<std::string> header(const std::string& name) const;
    };

    LoopbackHub();
    ~LoopbackHub();
    LoopbackHub(const LoopbackHub&) = delete;
    LoopbackHub& operator=(const LoopbackHub&) = delete;

    // "http://127.0.0.1:<port>", without a trailing slash.
    std::string baseURL() const;
    int port() const;

    // The paths the hub serves a repository's listing and files at.
    static std::string treePath(const std::string& repo, const std::string& folder = {});
    static std::string filePath(const std::string& repo, const std::string& path);

    // Adds or replaces a file; its folders appear in the listings.
    void putFile(const std::string& repo, const std::string& path, File file);
    // The same with a strong ETag derived from the content, so changed content changes the validator.
    void putFile(const std::string& repo, const std::string& path, const std::string& content);

    // The listing states `size` for the file instead of its real size: a hub that lies about it.
    void setListedSize(const std::string& repo, const std::string& path, std::int64_t size);
    // The listing gives the file this SHA-256 as its large-file object ("lfs": {"oid": ...}), as the hub does
    // for big files.
    void setListedSha256(const std::string& repo, const std::string& path, const std::string& sha256);

    // Entries per listing page; every listing fits one page until this is set.
    void setPageSize(std::size_t entries);
    // "Link" targets as paths without scheme and host, resolved by the client against the page's URL.
    void setRelativeLinks(bool relative);
    // Every listing page links to one more page, without end.
    void setEndlessPagination(bool endless);
    // Off: ranges are served whatever "If-Range" names, so a resumed file may be spliced from two versions.
    void setHonourIfRange(bool honour);

    // The next `times` requests for `path` (decoded, without query) get `fault`.
    void failPath(const std::string& path, Fault fault, std::size_t times = 1);
    // The request received as number `number` (counted from 1, over all paths) gets `fault`.
    void failRequest(std::size_t number, Fault fault);

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> requestsFor(const std::string& path) const;

private:
    class Server;
    std::unique_ptr<Server> server_;
};

} // namespace testsupport
