#include "rules/manifest_reader.h"

#include <map>
#include <set>

#include "rules/utf8.h"

namespace updater {

namespace {

// The format nests three deep (object, array, entry); anything deeper is not
// a manifest, and a bound keeps hostile nesting from exhausting the stack.
constexpr int kMaxDepth = 8;
constexpr std::uint64_t kMaxSize = (std::uint64_t{1} << 63) - 1;

struct Value {
    enum class Type { Null, Boolean, Number, String, Array, Object } type = Type::Null;
    std::string text;  // a string's UTF-8, or a number as written
    std::vector<Value> items;
    std::map<std::string, Value> members;
};

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    // The whole text as one value, or nothing.
    std::optional<Value> Document() {
        Value value;
        if (!ParseValue(value, 0)) return std::nullopt;
        SkipBlanks();
        if (pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    unsigned char Peek() const { return static_cast<unsigned char>(text_[pos_]); }

    void SkipBlanks() {
        while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++pos_;
    }

    bool Take(char c) {
        SkipBlanks();
        if (AtEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool TakeWord(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool ParseValue(Value& value, int depth) {
        if (depth > kMaxDepth) return false;
        SkipBlanks();
        if (AtEnd()) return false;
        switch (Peek()) {
            case '{': return ParseObject(value, depth);
            case '[': return ParseArray(value, depth);
            case '"': value.type = Value::Type::String; return ParseString(value.text);
            case 't': value.type = Value::Type::Boolean; return TakeWord("true");
            case 'f': value.type = Value::Type::Boolean; return TakeWord("false");
            case 'n': value.type = Value::Type::Null; return TakeWord("null");
            default: value.type = Value::Type::Number; return ParseNumber(value.text);
        }
    }

    bool ParseObject(Value& value, int depth) {
        value.type = Value::Type::Object;
        ++pos_;
        if (Take('}')) return true;
        do {
            std::string key;
            SkipBlanks();
            if (AtEnd() || Peek() != '"' || !ParseString(key) || !Take(':')) return false;
            Value member;
            if (!ParseValue(member, depth + 1)) return false;
            if (!value.members.emplace(std::move(key), std::move(member)).second) return false;  // duplicate key
        } while (Take(','));
        return Take('}');
    }

    bool ParseArray(Value& value, int depth) {
        value.type = Value::Type::Array;
        ++pos_;
        if (Take(']')) return true;
        do {
            value.items.emplace_back();
            if (!ParseValue(value.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']');
    }

    // Four hex digits of a \u escape.
    bool ParseHex4(std::uint32_t& unit) {
        if (text_.size() - pos_ < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            unit <<= 4;
            if (c >= '0' && c <= '9') unit |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') unit |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') unit |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    // A \u escape, a surrogate pair as two; a lone surrogate is no character.
    bool ParseUnicodeEscape(std::string& out) {
        std::uint32_t unit = 0;
        if (!ParseHex4(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!TakeWord("\\u") || !ParseHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, unit);
        return true;
    }

    bool ParseString(std::string& out) {
        ++pos_;  // the opening quote
        while (!AtEnd()) {
            const unsigned char c = Peek();
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return false;
            if (c >= 0x80) {
                const std::size_t length = Utf8SequenceLength(text_, pos_);
                if (length == 0) return false;
                out.append(text_, pos_, length);
                pos_ += length;
                continue;
            }
            ++pos_;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (AtEnd()) return false;
            const char escape = text_[pos_++];
            switch (escape) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u':
                    if (!ParseUnicodeEscape(out)) return false;
                    break;
                default: return false;
            }
        }
        return false;
    }

    bool TakeDigits() {
        const std::size_t start = pos_;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++pos_;
        return pos_ > start;
    }

    // JSON's number grammar; the text is kept as written.
    bool ParseNumber(std::string& out) {
        const std::size_t start = pos_;
        if (!AtEnd() && Peek() == '-') ++pos_;
        if (!AtEnd() && Peek() == '0') {
            ++pos_;
        } else if (!TakeDigits()) {
            return false;
        }
        if (!AtEnd() && Peek() == '.') {
            ++pos_;
            if (!TakeDigits()) return false;
        }
        if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
            ++pos_;
            if (!AtEnd() && (Peek() == '+' || Peek() == '-')) ++pos_;
            if (!TakeDigits()) return false;
        }
        out.assign(text_, start, pos_ - start);
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// A size: decimal digits only (the grammar has ruled out leading zeros), at most 2^63 - 1.
std::optional<std::uint64_t> SizeOf(const Value& value) {
    if (value.type != Value::Type::Number || value.text.empty()) return std::nullopt;
    std::uint64_t size = 0;
    for (const char c : value.text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (size > (kMaxSize - digit) / 10) return std::nullopt;
        size = size * 10 + digit;
    }
    return size;
}

bool IsSha256Text(const std::string& text) {
    if (text.size() != 64) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

const Value* Member(const Value& object, const char* name, Value::Type type) {
    const auto found = object.members.find(name);
    return found != object.members.end() && found->second.type == type ? &found->second : nullptr;
}

std::optional<ManifestFile> EntryOf(const Value& entry) {
    if (entry.type != Value::Type::Object) return std::nullopt;
    const Value* path = Member(entry, "path", Value::Type::String);
    const Value* size = Member(entry, "size", Value::Type::Number);
    const Value* sha256 = Member(entry, "sha256", Value::Type::String);
    if (!path || !size || !sha256 || path->text.empty() || !IsSha256Text(sha256->text)) return std::nullopt;
    if (const auto version = entry.members.find("fileVersion"); version != entry.members.end())
        if (version->second.type != Value::Type::String && version->second.type != Value::Type::Null)
            return std::nullopt;
    const std::optional<std::uint64_t> bytes = SizeOf(*size);
    if (!bytes) return std::nullopt;
    return ManifestFile{path->text, *bytes, sha256->text};
}

// Both members as non-empty strings, or neither: nothing to read. False
// for anything else.
bool ReadTarget(const Value& document, std::optional<ManifestTarget>& target) {
    const bool hasProduct = document.members.count("product") != 0;
    if (hasProduct != (document.members.count("versionCode") != 0)) return false;
    if (!hasProduct) return true;
    const Value* product = Member(document, "product", Value::Type::String);
    const Value* versionCode = Member(document, "versionCode", Value::Type::String);
    if (!product || !versionCode || product->text.empty() || versionCode->text.empty()) return false;
    target = ManifestTarget{product->text, versionCode->text};
    return true;
}

}  // namespace

std::optional<Manifest> ReadManifest(std::string_view text) {
    const std::optional<Value> document = Parser(text).Document();
    if (!document || document->type != Value::Type::Object) return std::nullopt;
    const Value* format = Member(*document, "format", Value::Type::String);
    const Value* files = Member(*document, "files", Value::Type::Array);
    if (!format || format->text != kManifestFormatName || !files) return std::nullopt;
    Manifest result;
    if (!ReadTarget(*document, result.target)) return std::nullopt;
    std::set<std::string> paths;
    for (const Value& item : files->items) {
        std::optional<ManifestFile> entry = EntryOf(item);
        if (!entry || !paths.insert(entry->path).second) return std::nullopt;
        result.files.push_back(std::move(*entry));
    }
    return result;
}

}  // namespace updater
