#include "call_check.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace fuzz {

namespace {

lua_CFunction probe_target = nullptr;
ProbeRecord record{};

bool contains(const char* text, const char* part) {
    return text != nullptr && std::strstr(text, part) != nullptr;
}

// Raw equality, except that a NaN handed back counts as the NaN passed in.
bool same_value(lua_State* L, int a, int b) {
    if (lua_rawequal(L, a, b)) return true;
    return lua_type(L, a) == LUA_TNUMBER && lua_type(L, b) == LUA_TNUMBER &&
           std::isnan(lua_tonumber(L, a)) && std::isnan(lua_tonumber(L, b));
}

// The value argument i (1-based) was called with, or 0 when it was absent.
int arg_index(const Finished& c, int i) { return i <= c.nargs ? c.args + i - 1 : 0; }

bool result_is(lua_State* L, const Finished& c, int j, int arg) {
    const int r = c.results + j - 1;
    return arg == 0 ? lua_isnil(L, r) : same_value(L, r, arg);
}

std::string check_results(lua_State* L, const Finished& c, Kind kind) {
    const int n = record.results;
    switch (kind) {
        case Kind::Filter:
            // The one result is argument 1 as it was passed.
            if (n != 1) return "a filter returned " + std::to_string(n) + " results";
            if (!result_is(L, c, 1, arg_index(c, 1))) return "a filter returned another value";
            return "";
        case Kind::Daytime:
            if (n != 1 || lua_type(L, c.results) != LUA_TSTRING) return "daytime gave no string";
            return "";
        case Kind::PassFour: {
            // The last four arguments, padded with nil when fewer were given.
            if (n != 4) return "tovoNum returned " + std::to_string(n) + " results";
            const int first = c.nargs > 4 ? c.nargs - 4 : 0;
            for (int j = 1; j <= 4; j++) {
                if (!result_is(L, c, j, arg_index(c, first + j))) {
                    return "tovoNum result " + std::to_string(j) + " is not its argument";
                }
            }
            return "";
        }
        case Kind::SetsPoint:
            return n == 0 ? "" : "tovoInterRGBset returned results";
    }
    return "";
}

// The errors a call may raise, and when it must raise one.
std::string check_error_rules(const char* message, const Finished& c, Kind kind) {
    const bool failed = c.status != 0;
    switch (kind) {
        case Kind::Filter:
            if (c.count > 0 && !c.buffer_given) {
                return failed && contains(message, "pixel buffer expected")
                           ? ""
                           : "no buffer, yet no \"pixel buffer expected\" error";
            }
            if (!failed) return "";
            if (c.count > 0 && contains(message, "not enough memory")) return "";
            return std::string("unexpected error: ") + (message ? message : "(not a string)");
        case Kind::SetsPoint:
            if (!failed || contains(message, "curve position must be 1 to 361")) return "";
            return std::string("unexpected error: ") + (message ? message : "(not a string)");
        default:
            if (!failed) return "";
            return std::string("unexpected error: ") + (message ? message : "(not a string)");
    }
}

}  // namespace

Kind kind_of(const char* name) {
    if (std::strcmp(name, "daytime") == 0) return Kind::Daytime;
    if (std::strcmp(name, "tovoNum") == 0) return Kind::PassFour;
    if (std::strcmp(name, "tovoInterRGBset") == 0) return Kind::SetsPoint;
    return Kind::Filter;
}

void set_probe_target(lua_CFunction target) { probe_target = target; }

const ProbeRecord& last_probe() { return record; }

int probe(lua_State* L) {
    record = {false, 0, 0};
    const int n = probe_target(L);
    record = {true, n, lua_gettop(L)};
    // Hand back nothing rather than let the host copy from below the frame;
    // check_call reports the fault.
    return n >= 0 && n <= record.top ? n : 0;
}

std::string check_call(lua_State* L, const Finished& call) {
    const Kind kind = kind_of(call.name);
    const char* message = call.status != 0 ? lua_tostring(L, call.results) : nullptr;
    std::string fault = check_error_rules(message, call, kind);
    if (!fault.empty() || call.status != 0) return fault;
    if (!record.returned) return "the call succeeded without the function returning";
    if (record.results < 0 || record.results > record.top) {
        return "returned " + std::to_string(record.results) + " results with " +
               std::to_string(record.top) + " values on its stack";
    }
    const int on_stack = lua_gettop(L) - call.results + 1;
    if (on_stack != record.results) {
        return "the stack holds " + std::to_string(on_stack) + " results, the function returned " +
               std::to_string(record.results);
    }
    return check_results(L, call, kind);
}

std::string describe_call(lua_State* L, const Finished& call) {
    std::string text = std::string(call.name) + "(";
    for (int i = 0; i < call.nargs; i++) {
        const int idx = call.args + i;
        char value[64];
        switch (lua_type(L, idx)) {
            case LUA_TNUMBER: snprintf(value, sizeof value, "%.17g", lua_tonumber(L, idx)); break;
            case LUA_TSTRING: snprintf(value, sizeof value, "'%.40s'", lua_tostring(L, idx)); break;
            case LUA_TBOOLEAN: snprintf(value, sizeof value, lua_toboolean(L, idx) ? "true" : "false"); break;
            case LUA_TLIGHTUSERDATA: snprintf(value, sizeof value, "%p", lua_touserdata(L, idx)); break;
            default: snprintf(value, sizeof value, "%s", lua_typename(L, lua_type(L, idx))); break;
        }
        text += (i ? ", " : "") + std::string(value);
    }
    return text + ") with w x h = " + std::to_string(call.count) +
           (call.buffer_given ? "" : ", no buffer");
}

}  // namespace fuzz
