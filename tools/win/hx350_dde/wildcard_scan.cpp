#include "tools/win/hx350_dde/wildcard_scan.h"

#include "base/cp1250.h"
#include "tools/win/hx350_dde/dde_client.h"
#include "win/text.h"

#include <dde.h>

namespace {

constexpr const wchar_t* kClassName = L"HX350DdeListClient";

ATOM addAtom(const std::string& utf8, bool ansi) {
    return ansi ? GlobalAddAtomA(utf8ToCp1250(utf8).c_str()) : GlobalAddAtomW(widen(utf8).c_str());
}

std::string atomText(ATOM atom) {
    wchar_t buffer[256] = {};
    GlobalGetAtomNameW(atom, buffer, 256);
    return narrow(buffer);
}

} // namespace

// Every server that answers acknowledges once per service and topic it offers, and each of those conversations is
// then terminated again.
std::vector<std::pair<std::string, std::string>> CWildcardScan::run(const std::string& service,
                                                                    const std::string& topic, bool ansi) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    if (CreateWindowW(kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, this) == nullptr)
        return {};
    ATOM serviceAtom = addAtom(service, ansi);
    ATOM topicAtom = topic.empty() ? 0 : addAtom(topic, ansi);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_),
                        MAKELPARAM(serviceAtom, topicAtom), SMTO_ABORTIFHUNG, 3000, &ignored);
    if (serviceAtom != 0)
        GlobalDeleteAtom(serviceAtom);
    if (topicAtom != 0)
        GlobalDeleteAtom(topicAtom);

    for (HWND server : servers_)
        PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (terminated_ < servers_.size() && GetTickCount64() < deadline)
        pumpMessages(kSettleMs);
    DestroyWindow(window_);
    return found_;
}

// The scan is reached through the window itself: `this` arrives with WM_NCCREATE and is let go at WM_NCDESTROY, so a
// message outside the scan's run reaches no object. The window base of the programs would do the same, but it
// brings the common controls with it, whose classes the resources command would then count among the global atoms.
LRESULT CALLBACK CWildcardScan::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* scan = static_cast<CWildcardScan*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(scan));
        scan->window_ = window;
    }
    auto* scan = reinterpret_cast<CWildcardScan*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (scan != nullptr)
            scan->window_ = nullptr;
    } else if (scan != nullptr && (message == WM_DDE_ACK || message == WM_DDE_TERMINATE)) {
        scan->handleMessage(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CWildcardScan::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DDE_ACK) {
        // The answer to an initiate is sent, not posted, so its parameter is not packed; the atoms are ours to
        // delete.
        const ATOM service = LOWORD(lParam);
        const ATOM topic = HIWORD(lParam);
        found_.emplace_back(atomText(service), atomText(topic));
        servers_.push_back(reinterpret_cast<HWND>(wParam));
        GlobalDeleteAtom(service);
        GlobalDeleteAtom(topic);
    } else {
        ++terminated_;
    }
}
