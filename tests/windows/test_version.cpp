// The products' version resources, read back as Explorer reads them, carry the project's version.
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string query_text(std::vector<char>& info, const std::string& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = "\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) {
        return "<missing>";
    }
    return static_cast<const char*>(value);
}

TEST(Version, ProductsCarryTheProjectVersion) {
    for (const std::string name : {"supervisor", "fkill", "kq2", "kq2stat"}) {
        const std::string path = product_path((name + ".exe").c_str());
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u) << name << " has no version resource";
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

        void* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &value, &length));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        for (const auto& [ms, ls] :
             {std::pair{fixed->dwFileVersionMS, fixed->dwFileVersionLS},
              std::pair{fixed->dwProductVersionMS, fixed->dwProductVersionLS}}) {
            const std::string version =
                std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
                std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
            EXPECT_EQ(version, PROJECT_VERSION ".0") << name;
        }
        EXPECT_EQ(query_text(info, "FileVersion"), PROJECT_VERSION ".0") << name;
        EXPECT_EQ(query_text(info, "ProductVersion"), PROJECT_VERSION ".0") << name;
        EXPECT_EQ(query_text(info, "OriginalFilename"), name + ".exe");
        EXPECT_EQ(query_text(info, "ProductName"), "kq2 supervisor") << name;
        EXPECT_NE(query_text(info, "FileDescription"), "<missing>") << name;
        EXPECT_NE(query_text(info, "LegalCopyright").find("the kq2 supervisor authors"),
                  std::string::npos)
            << name;
    }
}

} // namespace
