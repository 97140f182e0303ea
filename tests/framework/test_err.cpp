#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

#include "framework/err.h"
#include "framework/misc.h"
#include "tests/test_util.h"

namespace {
class quiet_object : public c_reportable {
  public:
    std::string get_details() const override { return ""; }
};
class talkative_object : public c_reportable {
  public:
    std::string get_details() const override { return "STATE: 7\n"; }
    void on_report() const override { ++reports; }
    mutable int reports = 0;
};

c_err make_err(HRESULT hr, const c_reportable* obj) {
    return c_err("Unable to create the Direct3D Device.", "core.cpp", 42, "c_core::create_d3d_device",
                 "Mon Mar  1 22:40:37 2004", hr, obj);
}
} // namespace

TEST(ErrorReport, NegativeHresultAddsItsDescriptionLine) {
    EXPECT_EQ(make_err(static_cast<HRESULT>(0x8876086Cu), nullptr).get_report(),
              "Unable to create the Direct3D Device.\n\nDETAILS:\n--------------------\n"
              "HRESULT: Invalid call.\n"
              "FILENAME: core.cpp\nLINE NUMBER: 42\nFUNCTION: c_core::create_d3d_device\n"
              "COMPILE DATE: Mon Mar  1 22:40:37 2004");
}

TEST(ErrorReport, ZeroAndPositiveHresultsHaveNoHresultLine) {
    EXPECT_EQ(make_err(0, nullptr).get_report().find("HRESULT"), std::string::npos);
    EXPECT_EQ(make_err(1, nullptr).get_report().find("HRESULT"), std::string::npos);
}

TEST(ErrorReport, UnknownHresultReadsNotAvailable) {
    EXPECT_NE(make_err(static_cast<HRESULT>(0x80001234u), nullptr).get_report().find("HRESULT: n/a.\n"),
              std::string::npos);
}

TEST(ErrorReport, ObjectDetailsFormTheirOwnSection) {
    talkative_object obj;
    c_err e = make_err(0, &obj);
    EXPECT_EQ(obj.reports, 1);
    std::string r = e.get_report();
    const std::string tail =
        "COMPILE DATE: Mon Mar  1 22:40:37 2004\n\nADDITIONAL DETAILS:\n--------------------\nSTATE: 7\n";
    ASSERT_GE(r.size(), tail.size());
    EXPECT_EQ(r.substr(r.size() - tail.size()), tail);
}

TEST(ErrorReport, EmptyDetailsEndTheReportAtTheCompileDate) {
    quiet_object obj;
    std::string r = make_err(0, &obj).get_report();
    EXPECT_EQ(r.find("ADDITIONAL"), std::string::npos);
    EXPECT_EQ(r.substr(r.size() - 4), "2004");
}

TEST(ErrorReport, DefaultDetailsGiveTheObjectsAddress) {
    c_reportable obj;
    EXPECT_EQ(obj.get_details(), format_string("MEMORY LOCATION: %p\n", static_cast<const void*>(&obj)));
}

TEST(ErrorReport, RaiseMacroFillsFileLineAndDate) {
    try {
        HV_RAISE("Index out of bounds.", "test_function", 0, nullptr);
    } catch (const c_err& e) {
        EXPECT_EQ(e.file, "test_err.cpp");
        EXPECT_GT(e.line, 0);
        EXPECT_EQ(e.function, "test_function");
        // "Www Mmm dd hh:mm:ss yyyy" as the build records the file's time stamp.
        EXPECT_EQ(e.compile_date.size(), 24u);
        EXPECT_EQ(e.compile_date[3], ' ');
        return;
    }
    FAIL() << "nothing was raised";
}

TEST(EntryPoint, CatchWritesErrorFileWithoutTheMessageBoxBlock) {
    scratch_dir dir;
    cwd_guard in(dir.path());
    setenv("HARNVALE_NONINTERACTIVE", "1", 1);
    testing::internal::CaptureStderr();
    int code = run_guarded([]() -> int { HV_RAISE("Unable to do the thing.", "main_routine", 0, nullptr); });
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    std::string file = read_file(dir.file("error.txt"));
    EXPECT_EQ(file.rfind("Unable to do the thing.\n\nDETAILS:\n", 0), 0u);
    EXPECT_EQ(file.find("STUFF YOU NEED TO KNOW"), std::string::npos);
    // What a person would have been shown goes to stderr in an automated run, block included.
    EXPECT_NE(shown.find("UNAVOIDABLE ERROR!!!"), std::string::npos);
    EXPECT_NE(shown.find(file), std::string::npos);
    EXPECT_NE(shown.find("STUFF YOU NEED TO KNOW:\n--------------------\n"), std::string::npos);
    EXPECT_NE(shown.find("saved to the file \"" + dir.file("error.txt") + "\"."), std::string::npos);
}

// A report file set by the program lands in its folder, made as needed; one that cannot be
// written is said to be missing, with the reason, instead of being claimed as saved.
TEST(EntryPoint, TheReportFileIsWrittenWhereSetOrItsFailureIsTold) {
    scratch_dir dir;
    setenv("HARNVALE_NONINTERACTIVE", "1", 1);
    write_file(dir.file("file"), "a file, not a folder");
    struct {
        std::string path;
        std::string told;
    } cases[] = {
        {dir.file("state/harnvale/error.txt"),
         "has been saved to the file \"" + dir.file("state/harnvale/error.txt") + "\"."},
        {dir.file("file/harnvale/error.txt"),
         "could not be saved to the file \"" + dir.file("file/harnvale/error.txt") + "\": Not a directory."},
        {dir.file("error.txt/"), "could not be saved to the file \"" + dir.file("error.txt/") + "\": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        set_report_file(c.path);
        testing::internal::CaptureStderr();
        EXPECT_EQ(run_guarded([]() -> int { HV_RAISE("Unable to go on.", "main_routine", 0, nullptr); }), 1);
        std::string shown = testing::internal::GetCapturedStderr();
        EXPECT_NE(shown.find(c.told), std::string::npos) << shown;
        if (c.told.find("has been saved") != std::string::npos) {
            EXPECT_EQ(read_file(c.path).rfind("Unable to go on.\n", 0), 0u);
        }
    }
    set_report_file("");
}

// Running out of memory, or any other standard exception, ends in the same report as a c_err:
// exit code 1 and error.txt, not an abort with nothing written.
TEST(EntryPoint, StandardExceptionsEndInTheSameReport) {
    scratch_dir dir;
    cwd_guard in(dir.path());
    setenv("HARNVALE_NONINTERACTIVE", "1", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_guarded([]() -> int { throw std::bad_alloc(); }), 1);
    std::string file = read_file(dir.file("error.txt"));
    EXPECT_EQ(
        file.rfind(
            "Unable to allocate memory.\n\nDETAILS:\n--------------------\nHRESULT: Ran out of memory.\n", 0),
        0u)
        << file;
    EXPECT_NE(file.find("FUNCTION: run_guarded\n"), std::string::npos);

    EXPECT_EQ(run_guarded([]() -> int { throw std::out_of_range("vector index 7"); }), 1);
    file = read_file(dir.file("error.txt"));
    EXPECT_EQ(file.rfind("Unable to continue after an unexpected error.\n", 0), 0u) << file;
    EXPECT_NE(file.find("\n\nADDITIONAL DETAILS:\n--------------------\nEXCEPTION: vector index 7"),
              std::string::npos)
        << file;
    std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("UNAVOIDABLE ERROR!!!"), std::string::npos);
}

TEST(EntryPoint, NormalReturnPassesThrough) {
    EXPECT_EQ(run_guarded([] { return 0; }), 0);
}
