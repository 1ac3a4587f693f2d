#include "profile/json_file_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include <json/reader.h>
#include <json/writer.h>

#include "platform/file_io.h"
#include "platform/trace.h"

namespace nurak::profile {

namespace {

void TraceCode(const char* format, int code) {
    if (!trace::Enabled()) return;
    char text[96];
    std::snprintf(text, sizeof text, format, code);
    trace::Write(text);
}

// The classic styled layout (three-space indent, "name" : value, short
// scalar arrays on one line), with text kept as raw UTF-8 instead of the
// library writer's \u escapes.
struct StyledText {
    static constexpr std::size_t kRightMargin = 74;
    std::string text;
    std::string indent;

    static std::string Quoted(std::string_view s) {
        std::string q = "\"";
        for (const char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
            case '"': q += "\\\""; break;
            case '\\': q += "\\\\"; break;
            case '\b': q += "\\b"; break;
            case '\f': q += "\\f"; break;
            case '\n': q += "\\n"; break;
            case '\r': q += "\\r"; break;
            case '\t': q += "\\t"; break;
            default:
                if (c < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04x", c);
                    q += hex;
                } else {
                    q += ch;
                }
            }
        }
        q += '"';
        return q;
    }

    static std::string Scalar(const Json::Value& v) {
        switch (v.type()) {
        case Json::nullValue: return "null";
        case Json::intValue: return Json::valueToString(v.asLargestInt());
        case Json::uintValue: return Json::valueToString(v.asLargestUInt());
        case Json::realValue: return Json::valueToString(v.asDouble());
        case Json::booleanValue: return v.asBool() ? "true" : "false";
        case Json::stringValue: {
            const char* begin = nullptr;
            const char* end = nullptr;
            v.getString(&begin, &end);
            return Quoted(std::string_view(begin, static_cast<std::size_t>(end - begin)));
        }
        default: return std::string();
        }
    }

    void Indent() {
        if (!text.empty()) {
            if (text.back() == ' ') return;
            if (text.back() != '\n') text += '\n';
        }
        text += indent;
    }

    void WithIndent(std::string_view s) {
        Indent();
        text += s;
    }

    void Value(const Json::Value& v) {
        if (v.isObject()) {
            if (v.empty()) {
                text += "{}";
                return;
            }
            WithIndent("{");
            indent += "   ";
            const Json::Value::Members names = v.getMemberNames();
            for (std::size_t i = 0; i < names.size(); ++i) {
                WithIndent(Quoted(names[i]));
                text += " : ";
                Value(v[names[i]]);
                if (i + 1 < names.size()) text += ',';
            }
            indent.resize(indent.size() - 3);
            WithIndent("}");
        } else if (v.isArray()) {
            Array(v);
        } else {
            text += Scalar(v);
        }
    }

    void Array(const Json::Value& v) {
        const Json::ArrayIndex size = v.size();
        if (size == 0) {
            text += "[]";
            return;
        }
        // Scalars that fit the margin go on one line.
        std::vector<std::string> items;
        bool multiLine = size * 3 >= kRightMargin;
        for (Json::ArrayIndex i = 0; i < size && !multiLine; ++i)
            multiLine = (v[i].isArray() || v[i].isObject()) && !v[i].empty();
        if (!multiLine) {
            std::size_t length = 4 + (size - 1) * 2;
            for (Json::ArrayIndex i = 0; i < size; ++i) {
                StyledText child;
                child.Value(v[i]);
                length += child.text.size();
                items.push_back(std::move(child.text));
            }
            multiLine = length >= kRightMargin;
        }
        if (!multiLine) {
            text += "[ ";
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i > 0) text += ", ";
                text += items[i];
            }
            text += " ]";
            return;
        }
        WithIndent("[");
        indent += "   ";
        for (Json::ArrayIndex i = 0; i < size; ++i) {
            Indent();
            Value(v[i]);
            if (i + 1 < size) text += ',';
        }
        indent.resize(indent.size() - 3);
        WithIndent("]");
    }
};

// True when brackets outside strings and comments nest deeper than the
// limit. Checked before parsing, since the parser reports that by throwing,
// which is slow, and stops at the first level too deep.
bool NestsTooDeep(std::string_view text) {
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i)
                if (text[i] == '\\') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const std::size_t end = text.find("*/", i + 2);
            if (end == std::string_view::npos) return false;
            i = end + 1;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) return true;
        } else if (c == ']' || c == '}') {
            if (depth > 0) --depth;
        }
    }
    return false;
}

}  // namespace

Json::Value ParseJsonText(std::string_view text) {
    if (NestsTooDeep(text)) return Json::Value();
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = false;
    builder["stackLimit"] = kMaxJsonDepth;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) return Json::Value();
    } catch (const std::exception&) {
        // Exceeding the depth limit is reported by throwing.
        return Json::Value();
    }
    return root;
}

std::string FormatJsonText(const Json::Value& value) {
    StyledText out;
    out.Value(value);
    out.text += '\n';
    return out.text;
}

std::string CompactJsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

Json::Value JsonFileStore::ReadJsonFile(const std::filesystem::path& file) {
    std::string text;
    errno = 0;
    const bool read = platform::ReadWholeFile(file, kMaxJsonFileSize, text);
    TraceCode("readjsonFile 错误吗：：%d\n", read ? 0 : errno);
    if (!read) return Json::Value();
    if (text.empty()) {
        trace::Write(file.string());
        return Json::Value();
    }
    return ParseJsonText(text);
}

int JsonFileStore::WriteJsonFile(const std::filesystem::path& file, const Json::Value& value) {
    std::string text;
    try {
        text = FormatJsonText(value);
    } catch (const std::exception&) {
        TraceCode("wirtejsonFile 错误吗：：%d\n", ENOMEM);
        return 1;
    }
    errno = 0;
    const bool ok = platform::ReplaceFileContents(file, text);
    TraceCode("wirtejsonFile 错误吗：：%d\n", ok ? 0 : errno);
    return ok ? 0 : 1;
}

const Json::Value& JsonMember(const Json::Value& object, const char* name) {
    static const Json::Value null;
    if (!object.isObject() || name == nullptr) return null;
    const Json::Value* found = object.find(name, name + std::strlen(name));
    return found ? *found : null;
}

const Json::Value& JsonArrayItem(const Json::Value& array, std::size_t index) {
    static const Json::Value null;
    if (!array.isArray() || index >= array.size()) return null;
    return array[static_cast<Json::ArrayIndex>(index)];
}

int JsonInt(const Json::Value& value, int fallback) { return value.isInt() ? value.asInt() : fallback; }

int JsonInt(const Json::Value& object, const char* member, int fallback) {
    return JsonInt(JsonMember(object, member), fallback);
}

unsigned JsonUInt(const Json::Value& value, unsigned fallback) {
    return value.isUInt() ? value.asUInt() : fallback;
}

unsigned JsonUInt(const Json::Value& object, const char* member, unsigned fallback) {
    return JsonUInt(JsonMember(object, member), fallback);
}

bool JsonBool(const Json::Value& value, bool fallback) {
    if (value.isBool()) return value.asBool();
    if (value.isInt64()) return value.asInt64() != 0;
    if (value.isUInt64()) return value.asUInt64() != 0;
    return fallback;
}

bool JsonBool(const Json::Value& object, const char* member, bool fallback) {
    return JsonBool(JsonMember(object, member), fallback);
}

std::string JsonString(const Json::Value& value, std::string fallback) {
    return value.isString() ? value.asString() : std::move(fallback);
}

std::string JsonString(const Json::Value& object, const char* member, std::string fallback) {
    return JsonString(JsonMember(object, member), std::move(fallback));
}

Json::Value& JsonObjectMember(Json::Value& object, const char* name) {
    if (!object.isObject()) object = Json::Value(Json::objectValue);
    return object[name];
}

Json::Value& JsonArrayElement(Json::Value& array, std::size_t index) {
    if (!array.isArray()) array = Json::Value(Json::arrayValue);
    return array[static_cast<Json::ArrayIndex>(index)];
}

}  // namespace nurak::profile
