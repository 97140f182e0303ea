#include "framework/err.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <system_error>

#include "framework/misc.h"
#include "platform/dxerr.h"

HINSTANCE g_instance = nullptr;

HWND g_report_window = nullptr;

namespace {
std::string g_report_file = "error.txt";

// Writes the report; returns "" or why it could not be written. The report's folder is made
// here, so a player's state folder appears only once there is something to keep in it.
std::string write_report_file(const std::string& report) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(g_report_file).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    std::FILE* f = std::fopen(g_report_file.c_str(), "w");
    if (!f) return std::error_code(errno, std::generic_category()).message();
    bool written = std::fputs(report.c_str(), f) >= 0;
    if (std::fclose(f) != 0) written = false;
    return written ? "" : "the disk refused the report";
}

// The file's full path as the player would look for it.
std::string shown_path(const std::string& file) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(file, ec);
    return ec ? file : full.string();
}
} // namespace

void set_report_file(const std::string& path) {
    g_report_file = path.empty() ? "error.txt" : path;
}

std::string c_reportable::get_details() const {
    return format_string("MEMORY LOCATION: %p\n", static_cast<const void*>(this));
}

c_err::c_err(std::string details_, std::string file_, int line_, std::string function_,
             std::string compile_date_, HRESULT hresult_, const c_reportable* object)
    : details(std::move(details_)), file(std::move(file_)), line(line_), function(std::move(function_)),
      compile_date(std::move(compile_date_)), hresult(hresult_) {
    if (object) {
        additional_details = object->get_details();
        object->on_report();
    }
}

std::string c_err::get_report() const {
    std::string r = details;
    r += "\n\nDETAILS:\n--------------------\n";
    if (hresult < 0) r += std::string("HRESULT: ") + DXGetErrorDescription9A(hresult) + ".\n";
    r += "FILENAME: " + file + "\n";
    r += format_string("LINE NUMBER: %d\n", line);
    r += "FUNCTION: " + function + "\n";
    r += "COMPILE DATE: " + compile_date;
    if (!additional_details.empty())
        r += "\n\nADDITIONAL DETAILS:\n--------------------\n" + additional_details;
    return r;
}

namespace {
// An automated run (HARNVALE_NONINTERACTIVE set, not "0") has nobody to press OK: a message box
// would hold the process until it is killed, on every system.
bool nobody_to_answer() {
    const char* flag = std::getenv("HARNVALE_NONINTERACTIVE");
    return flag && *flag && std::strcmp(flag, "0") != 0;
}
} // namespace

int report_failure(const c_err& e) {
    std::string report = e.get_report();
    std::string where = shown_path(g_report_file);
    std::string problem = write_report_file(report);
    if (g_report_window) ShowWindow(g_report_window, SW_MINIMIZE);
    while (ShowCursor(TRUE) < 0) {
    }
    report += "\n\nSTUFF YOU NEED TO KNOW:\n--------------------\n"
              "Due to this error occuring, the application may have memory leaks.\n"
              "Although Windows/DirectX tries to clean up these leaks, it is still\n"
              "recommended that you restart your computer.\n"
              "\n";
    // Saying the report was saved when it was not would send the player looking for nothing.
    if (problem.empty())
        report += "Error and logging information has been saved to the file \"" + where + "\".";
    else
        report += "Error and logging information could not be saved to the file \"" + where +
                  "\": " + problem + ".";
    if (nobody_to_answer())
        std::fprintf(stderr, "UNAVOIDABLE ERROR!!!\n%s\n", report.c_str());
    else
        MessageBoxA(nullptr, report.c_str(), "UNAVOIDABLE ERROR!!!", MB_OK | MB_ICONEXCLAMATION);
    return 1;
}

int run_guarded(int (*main_routine)()) {
    try {
        return main_routine();
    } catch (const c_err& e) {
        return report_failure(e);
    } catch (const std::bad_alloc&) {
        return report_failure(c_err("Unable to allocate memory.", hv_base_name(__FILE__), __LINE__,
                                    "run_guarded", __TIMESTAMP__, E_OUTOFMEMORY, nullptr));
    } catch (const std::exception& e) {
        // Whatever the standard library throws ends the program with the same report, never
        // with an abort that leaves the player nothing to read.
        c_err report("Unable to continue after an unexpected error.", hv_base_name(__FILE__), __LINE__,
                     "run_guarded", __TIMESTAMP__, E_FAIL, nullptr);
        report.additional_details = std::string("EXCEPTION: ") + e.what();
        return report_failure(report);
    }
}
