// The Debian packages: cpack makes qiv, kestrel-tools and libkestrel-dev from
// the built tree, named with the one version, holding what each should
// (qiv its data and man page, the tools theirs, the dev package the library,
// headers, CMake and pkg-config files) with their run-time dependencies; and
// lintian finds no error in them. Packed with gzip here to keep the test
// short; `./run package` uses xz.
#include <gtest/gtest.h>

#include <filesystem>

#include "kestrel_version.h"
#include "package_fixture.h"

namespace fs = std::filesystem;

namespace {

std::string debian_arch()
{
    program_result r = package_sh("dpkg --print-architecture");
    std::string arch = r.out;
    while (!arch.empty() && (arch.back() == '\n' || arch.back() == ' '))
        arch.pop_back();
    return arch;
}

std::string debian_file(const std::string& dir, const std::string& name)
{
    return dir + "/" + name + "_" + KESTREL_VERSION + "_" + debian_arch() + ".deb";
}

// The paths inside a package, one per line.
std::string debian_contents(const std::string& deb)
{
    return package_sh("dpkg-deb -c " + package_quote(deb) + " | awk '{print $6}'").out;
}

std::string debian_field(const std::string& deb, const std::string& field)
{
    return package_sh("dpkg-deb -f " + package_quote(deb) + " " + field).out;
}

}  // namespace

TEST(DebianPackages, ThreePackagesWithTheirFilesAndNoLintianError)
{
    std::string out = test_temp_dir("debian-packages");
    program_result pack = package_sh(package_quote(QIV_CPACK_COMMAND) + " -G DEB -B " + package_quote(out) +
                                     " -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip", QIV_BINARY_DIR, 400);
    ASSERT_EQ(pack.status, 0) << pack.out << pack.err;
    std::string qiv = debian_file(out, "qiv"), tools = debian_file(out, "kestrel-tools"),
                dev = debian_file(out, "libkestrel-dev");
    for (const std::string& deb : {qiv, tools, dev})
        ASSERT_TRUE(fs::exists(deb)) << deb << "\n" << pack.out;

    std::string q = debian_contents(qiv);
    for (const char* path : {"./usr/bin/qiv", "./usr/share/man/man1/qiv.1.gz", "./usr/share/qiv/data/music.ogg",
                             "./usr/share/qiv/data/earth.kst", "./usr/share/qiv/data/loading.ife",
                             "./usr/share/qiv/data/show.toml", "./usr/share/man/man5/qiv-show.5.gz",
                             "./usr/share/doc/qiv/copyright"})
        EXPECT_NE(q.find(path), std::string::npos) << path;
    std::string t = debian_contents(tools);
    for (const char* path : {"./usr/bin/kestrel", "./usr/bin/qiv-mkdata", "./usr/share/man/man1/kestrel.1.gz",
                             "./usr/share/man/man1/qiv-mkdata.1.gz"})
        EXPECT_NE(t.find(path), std::string::npos) << path;
    std::string d = debian_contents(dev);
    for (const char* path : {"libkestrel.a", "libkestrel_platform.a", "./usr/include/kestrel/kestrel.h",
                             "cmake/Kestrel/KestrelConfig.cmake", "pkgconfig/kestrel.pc"})
        EXPECT_NE(d.find(path), std::string::npos) << path;

    EXPECT_NE(debian_field(qiv, "Depends").find("libsdl2"), std::string::npos);  // from the binary
    EXPECT_NE(debian_field(qiv, "Recommends").find("ffmpeg"), std::string::npos);
    EXPECT_NE(debian_field(tools, "Depends").find("fonts-dejavu-core"), std::string::npos);
    EXPECT_NE(debian_field(dev, "Depends").find("libglu1-mesa-dev"), std::string::npos);

    program_result lint = package_sh("lintian --fail-on error --tag-display-limit 0 " + package_quote(qiv) + " " +
                                     package_quote(tools) + " " + package_quote(dev), "", 400);
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_EQ(lint.out.find("E: "), std::string::npos) << lint.out;
}
