// The program's one way to fail: a c_err raised by value and caught only at the entry point,
// which turns it into error.txt and a message box.
#pragma once
#include <string>

#include "platform/win32.h"

// Root of the polymorphic classes: an object named at a raise adds its own state to the report.
class c_reportable {
  public:
    virtual ~c_reportable() = default;
    // The text added to a report as ADDITIONAL DETAILS; by default the object's address.
    virtual std::string get_details() const;
    // Called right after get_details while a c_err is built; a hook that does nothing here.
    virtual void on_report() const {}
};

class c_err {
  public:
    c_err(std::string details, std::string file, int line, std::string function, std::string compile_date,
          HRESULT hresult, const c_reportable* object);

    // The report text: message, DETAILS block, and the object's details when there are any.
    std::string get_report() const;

    std::string details;
    std::string file;
    int line;
    std::string function;
    std::string compile_date;
    HRESULT hresult;
    std::string additional_details;
};

// The file's base name: reports name the unit, not the build machine's folders.
constexpr const char* hv_base_name(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    return base;
}

// The one raise: fills file, line and the source file's time stamp by itself.
#define HV_RAISE(message, function, hresult, object)                                                         \
    throw c_err((message), hv_base_name(__FILE__), __LINE__, (function), __TIMESTAMP__, (hresult), (object))

// Inside a member function: raises when a platform call fails, with its HRESULT and the
// object's own details in the report.
#define HV_CHECK(call, message, function)                                                                    \
    do {                                                                                                     \
        HRESULT hr_ = (call);                                                                                \
        if (FAILED(hr_)) HV_RAISE(message, function, hr_, this);                                             \
    } while (0)

// Runs the program's main routine inside the one catch. A standard exception (running out of
// memory included) is reported as a c_err of its own. On a c_err: writes the report file (see
// set_report_file), minimises the core's window, shows the system cursor, shows the report
// (with a closing block that only the message box carries) and returns 1.
int run_guarded(int (*main_routine)());

// What the entry point's catch does with a caught error; returns the exit code 1.
int report_failure(const c_err& e);

// Where a failure's report is written: a full path (its folder is made when a report is written),
// or, when empty, error.txt in whatever directory is current at the failure (the default). The
// report shown names the file's full path, or says why it could not be written.
void set_report_file(const std::string& path);

// The window of the core while one exists; the report minimises it.
extern HWND g_report_window;

// The instance handle the entry point stores for window-class registration and DirectInput.
extern HINSTANCE g_instance;
