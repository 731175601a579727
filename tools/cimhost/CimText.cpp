#include "CimText.h"

#include <cstdio>

namespace QelCim
{
namespace
{
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text)
    {
        switch (c)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            {
                char escaped[8];
                snprintf(escaped, sizeof(escaped), "\\x%02X", static_cast<unsigned char>(c));
                out += escaped;
            }
            else
            {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Scalar(const Value& value, CMPIType type)
{
    if (value.null)
        return "NULL";
    char text[64];
    switch (type)
    {
    case CMPI_chars:
    case CMPI_string:
        return Quoted(value.text);
    case CMPI_boolean:
        return value.boolean ? "TRUE" : "FALSE";
    case CMPI_real32:
    case CMPI_real64:
        snprintf(text, sizeof(text), "%.17g", value.real);
        return text;
    case CMPI_uint8:
    case CMPI_uint16:
    case CMPI_uint32:
    case CMPI_uint64:
    case CMPI_char16:
        return std::to_string(value.uint);
    case CMPI_sint8:
    case CMPI_sint16:
    case CMPI_sint32:
    case CMPI_sint64:
        return std::to_string(value.sint);
    default:
        return "NULL";
    }
}
}  // namespace

const char* StatusName(CMPIrc rc)
{
    switch (rc)
    {
    case CMPI_RC_OK:
        return "CMPI_RC_OK";
    case CMPI_RC_ERR_FAILED:
        return "CMPI_RC_ERR_FAILED";
    case CMPI_RC_ERR_ACCESS_DENIED:
        return "CMPI_RC_ERR_ACCESS_DENIED";
    case CMPI_RC_ERR_INVALID_NAMESPACE:
        return "CMPI_RC_ERR_INVALID_NAMESPACE";
    case CMPI_RC_ERR_INVALID_PARAMETER:
        return "CMPI_RC_ERR_INVALID_PARAMETER";
    case CMPI_RC_ERR_INVALID_CLASS:
        return "CMPI_RC_ERR_INVALID_CLASS";
    case CMPI_RC_ERR_NOT_FOUND:
        return "CMPI_RC_ERR_NOT_FOUND";
    case CMPI_RC_ERR_NOT_SUPPORTED:
        return "CMPI_RC_ERR_NOT_SUPPORTED";
    case CMPI_RC_ERR_CLASS_HAS_CHILDREN:
        return "CMPI_RC_ERR_CLASS_HAS_CHILDREN";
    case CMPI_RC_ERR_CLASS_HAS_INSTANCES:
        return "CMPI_RC_ERR_CLASS_HAS_INSTANCES";
    case CMPI_RC_ERR_INVALID_SUPERCLASS:
        return "CMPI_RC_ERR_INVALID_SUPERCLASS";
    case CMPI_RC_ERR_ALREADY_EXISTS:
        return "CMPI_RC_ERR_ALREADY_EXISTS";
    case CMPI_RC_ERR_NO_SUCH_PROPERTY:
        return "CMPI_RC_ERR_NO_SUCH_PROPERTY";
    case CMPI_RC_ERR_TYPE_MISMATCH:
        return "CMPI_RC_ERR_TYPE_MISMATCH";
    case CMPI_RC_ERR_QUERY_LANGUAGE_NOT_SUPPORTED:
        return "CMPI_RC_ERR_QUERY_LANGUAGE_NOT_SUPPORTED";
    case CMPI_RC_ERR_INVALID_QUERY:
        return "CMPI_RC_ERR_INVALID_QUERY";
    case CMPI_RC_ERR_METHOD_NOT_AVAILABLE:
        return "CMPI_RC_ERR_METHOD_NOT_AVAILABLE";
    case CMPI_RC_ERR_METHOD_NOT_FOUND:
        return "CMPI_RC_ERR_METHOD_NOT_FOUND";
    case CMPI_RC_DO_NOT_UNLOAD:
        return "CMPI_RC_DO_NOT_UNLOAD";
    case CMPI_RC_NEVER_UNLOAD:
        return "CMPI_RC_NEVER_UNLOAD";
    }
    return "unknown CMPI status";
}

std::string MofValue(const Value& value)
{
    if (!value.IsArray())
        return Scalar(value, value.type);
    if (value.null)
        return "NULL";
    std::string out = "{";
    for (size_t i = 0; i < value.elements.size(); ++i)
    {
        if (i > 0)
            out += ", ";
        out += Scalar(value.elements[i], value.ElementType());
    }
    return out + "}";
}

std::string PathText(const ObjectPath& path)
{
    std::string out;
    if (!path.host.empty())
        out += "//" + path.host + "/";
    out += path.nameSpace + ":" + path.className;
    for (size_t i = 0; i < path.keys.size(); ++i)
        out += (i == 0 ? "." : ",") + path.keys[i].first + "=" + MofValue(path.keys[i].second);
    return out;
}

std::string MofInstance(const Instance& instance)
{
    std::string out = "// " + PathText(instance.path) + "\n";
    out += "instance of " + instance.path.className + "\n{\n";
    for (const Named& property : instance.properties)
    {
        const Value& value = property.second;
        out += "    " + property.first + " = ";
        // Longer arrays (the event log's lines) get one element per line.
        if (value.IsArray() && !value.null && value.elements.size() > 1)
        {
            out += "{\n";
            for (size_t i = 0; i < value.elements.size(); ++i)
                out += "        " + Scalar(value.elements[i], value.ElementType()) +
                       (i + 1 < value.elements.size() ? ",\n" : "};\n");
        }
        else
        {
            out += MofValue(value) + ";\n";
        }
    }
    return out + "};\n";
}
}  // namespace QelCim
