#include "web/mimetypes.h"

#include <algorithm>
#include <array>
#include <string>

namespace quorvel {

namespace {

struct MimeRow {
  std::string_view extension;  // with its ".", lower case
  std::string_view type;
};

// Sorted by extension (byte order) so that a binary search finds a row; the
// static_assert below keeps it so.
constexpr auto kMimeTable = std::to_array<MimeRow>({
    {".323", "text/h323"},
    {".3g2", "video/3gpp2"},
    {".3gp", "video/3gpp"},
    {".7z", "application/x-7z-compressed"},
    {".aac", "audio/aac"},
    {".ai", "application/postscript"},
    {".aif", "audio/x-aiff"},
    {".aifc", "audio/x-aiff"},
    {".aiff", "audio/x-aiff"},
    {".asc", "text/plain"},
    {".asf", "video/x-ms-asf"},
    {".asx", "video/x-ms-asf"},
    {".au", "audio/basic"},
    {".avi", "video/x-msvideo"},
    {".bmp", "image/bmp"},
    {".bz2", "application/x-bzip2"},
    {".cab", "application/vnd.ms-cab-compressed"},
    {".cer", "application/x-x509-ca-cert"},
    {".class", "application/java-vm"},
    {".crt", "application/x-x509-ca-cert"},
    {".css", "text/css"},
    {".csv", "text/csv"},
    {".deb", "application/vnd.debian.binary-package"},
    {".der", "application/x-x509-ca-cert"},
    {".doc", "application/msword"},
    {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {".dot", "application/msword"},
    {".dtd", "application/xml-dtd"},
    {".dvi", "application/x-dvi"},
    {".eml", "message/rfc822"},
    {".eps", "application/postscript"},
    {".epub", "application/epub+zip"},
    {".exe", "application/x-msdownload"},
    {".flac", "audio/flac"},
    {".flv", "video/x-flv"},
    {".gif", "image/gif"},
    {".gz", "application/gzip"},
    {".hqx", "application/mac-binhex40"},
    {".htm", "text/html"},
    {".html", "text/html"},
    {".ico", "image/x-icon"},
    {".ics", "text/calendar"},
    {".ief", "image/ief"},
    {".jar", "application/java-archive"},
    {".jpe", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".js", "text/javascript"},
    {".json", "application/json"},
    {".kar", "audio/midi"},
    {".latex", "application/x-latex"},
    {".log", "text/plain"},
    {".m3u", "audio/x-mpegurl"},
    {".m4a", "audio/mp4"},
    {".m4v", "video/mp4"},
    {".man", "application/x-troff-man"},
    {".md", "text/markdown"},
    {".mdb", "application/x-msaccess"},
    {".me", "application/x-troff-me"},
    {".mid", "audio/midi"},
    {".midi", "audio/midi"},
    {".mjs", "text/javascript"},
    {".mka", "audio/x-matroska"},
    {".mkv", "video/x-matroska"},
    {".mov", "video/quicktime"},
    {".mp2", "audio/mpeg"},
    {".mp3", "audio/mpeg"},
    {".mp4", "video/mp4"},
    {".mpe", "video/mpeg"},
    {".mpeg", "video/mpeg"},
    {".mpg", "video/mpeg"},
    {".mpga", "audio/mpeg"},
    {".ms", "application/x-troff-ms"},
    {".msi", "application/x-msdownload"},
    {".odp", "application/vnd.oasis.opendocument.presentation"},
    {".ods", "application/vnd.oasis.opendocument.spreadsheet"},
    {".odt", "application/vnd.oasis.opendocument.text"},
    {".oga", "audio/ogg"},
    {".ogg", "audio/ogg"},
    {".ogv", "video/ogg"},
    {".otf", "font/otf"},
    {".p12", "application/x-pkcs12"},
    {".pbm", "image/x-portable-bitmap"},
    {".pdf", "application/pdf"},
    {".pfx", "application/x-pkcs12"},
    {".pgm", "image/x-portable-graymap"},
    {".png", "image/x-png"},
    {".pnm", "image/x-portable-anymap"},
    {".pot", "application/vnd.ms-powerpoint"},
    {".ppm", "image/x-portable-pixmap"},
    {".pps", "application/vnd.ms-powerpoint"},
    {".ppt", "application/vnd.ms-powerpoint"},
    {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {".ps", "application/postscript"},
    {".psd", "image/vnd.adobe.photoshop"},
    {".qt", "video/quicktime"},
    {".ra", "audio/x-pn-realaudio"},
    {".ram", "audio/x-pn-realaudio"},
    {".rar", "application/vnd.rar"},
    {".ras", "image/x-cmu-raster"},
    {".rgb", "image/x-rgb"},
    {".rm", "application/vnd.rn-realmedia"},
    {".roff", "application/x-troff"},
    {".rpm", "application/x-rpm"},
    {".rtf", "application/rtf"},
    {".rtx", "text/richtext"},
    {".sgm", "text/sgml"},
    {".sgml", "text/sgml"},
    {".sh", "application/x-sh"},
    {".shtml", "text/html"},
    {".sit", "application/x-stuffit"},
    {".snd", "audio/basic"},
    {".svg", "image/svg+xml"},
    {".svgz", "image/svg+xml"},
    {".swf", "application/x-shockwave-flash"},
    {".t", "application/x-troff"},
    {".tar", "application/x-tar"},
    {".tcl", "application/x-tcl"},
    {".tex", "application/x-tex"},
    {".texi", "application/x-texinfo"},
    {".texinfo", "application/x-texinfo"},
    {".tgz", "application/gzip"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".tr", "application/x-troff"},
    {".tsv", "text/tab-separated-values"},
    {".ttf", "font/ttf"},
    {".txt", "text/plain"},
    {".vcf", "text/vcard"},
    {".vsd", "application/vnd.visio"},
    {".wav", "audio/wav"},
    {".weba", "audio/webm"},
    {".webm", "video/webm"},
    {".webp", "image/webp"},
    {".wma", "audio/x-ms-wma"},
    {".wmv", "video/x-ms-wmv"},
    {".woff", "font/woff"},
    {".woff2", "font/woff2"},
    {".wrl", "model/vrml"},
    {".xbm", "image/x-xbitmap"},
    {".xhtml", "application/xhtml+xml"},
    {".xls", "application/vnd.ms-excel"},
    {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {".xml", "application/xml"},
    {".xpm", "image/x-xpixmap"},
    {".xsl", "application/xml"},
    {".xwd", "image/x-xwindowdump"},
    {".z", "application/x-compress"},
    {".zip", "application/zip"},
});

constexpr bool RowBefore(const MimeRow& a, const MimeRow& b) { return a.extension < b.extension; }

static_assert(std::is_sorted(kMimeTable.begin(), kMimeTable.end(), RowBefore),
              "the content-type table must stay sorted by extension");

constexpr std::string_view kUnknownType = "application/octet-stream";

}  // namespace

std::string_view GetMIMEType(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return kUnknownType;
  std::string extension(path.substr(dot));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const MimeRow key{extension, {}};
  const auto it = std::lower_bound(kMimeTable.begin(), kMimeTable.end(), key, RowBefore);
  if (it == kMimeTable.end() || it->extension != extension) return kUnknownType;
  return it->type;
}

}  // namespace quorvel
