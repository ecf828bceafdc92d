#include "cli/chain.h"

#include <string>

namespace rururev::cli {

// The reason of a Lua argument error without its traceback and without the
// "bad argument #3 to '?' (...)" around it.
static std::string argument_reason(const std::string& message) {
    std::string reason = message.substr(0, message.find("\nstack traceback:"));
    const size_t open = reason.find(" (");
    if (reason.compare(0, 13, "bad argument ") == 0 && open != std::string::npos && reason.back() == ')') {
        reason = reason.substr(open + 2, reason.size() - open - 3);
    }
    return reason;
}

bool set_curve(LuaHost& host, const std::vector<CurvePoint>& curve, std::string& error) {
    lua_State* L = host.state();
    for (const CurvePoint& p : curve) {
        host.push_module_function("tovoInterRGBset");
        if (!lua_isfunction(L, -1)) {
            lua_pop(L, 1);
            error = "--curve needs tovoInterRGBset, which this librururev lacks";
            return false;
        }
        lua_pushnumber(L, p.x);
        lua_pushnumber(L, p.y);
        lua_pushnumber(L, p.idx);
        if (!host.call(3, error)) {
            error = "tovoInterRGBset refused the --curve triple '" + p.text + "' (X:Y:IDX): " +
                    argument_reason(error);
            return false;
        }
    }
    return true;
}

bool run_chain(LuaHost& host, const std::vector<Step>& steps, uint32_t* data, uint32_t width,
               uint32_t height, std::string& error) {
    lua_State* L = host.state();
    for (const Step& step : steps) {
        host.push_module_function(step.function.c_str());
        if (!lua_isfunction(L, -1)) {
            lua_pop(L, 1);
            error = step.function + " is not in this librururev";
            return false;
        }
        lua_pushlightuserdata(L, data);
        lua_pushnumber(L, width);
        lua_pushnumber(L, height);
        for (const Argument& a : step.args) {
            if (a.is_bool) {
                lua_pushboolean(L, a.truth);
            } else {
                lua_pushnumber(L, a.number);
            }
        }
        if (!host.call(3 + static_cast<int>(step.args.size()), error)) return false;
    }
    return true;
}

}  // namespace rururev::cli
