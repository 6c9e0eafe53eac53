// The built addons, opened the way a host opens them: each must offer exactly the two entry points
// and answer Node-API version 8. The napi_* functions stay unresolved (RTLD_LAZY), as no host is
// loaded here; only the version entry point, which calls none of them, is called.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(AddonEntryPoints, EveryAddonAnswersVersionEightAndRegisters) {
  for (const char* name : {"sealkeep", "pressuregauge", "peerident"}) {
    const std::string path = std::string(MARROWFEN_ADDON_DIR) + "/" + name + ".node";
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << path << ": " << dlerror();
    auto version =
        reinterpret_cast<int32_t (*)()>(dlsym(handle, "node_api_module_get_api_version_v1"));
    ASSERT_NE(version, nullptr) << name;
    EXPECT_EQ(version(), 8) << name;
    EXPECT_NE(dlsym(handle, "napi_register_module_v1"), nullptr) << name;
    // Internal helpers stay hidden: nothing of ours but the entry points is exported.
    EXPECT_EQ(dlsym(handle, "_ZN9marrowfen4napi8copyUtf8EP10napi_env__P12napi_value__"), nullptr)
        << name;
    // Not dlclose'd: sealkeep's GLib types cannot be unloaded safely.
  }
}

}  // namespace
