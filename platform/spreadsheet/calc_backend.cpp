#include "platform/spreadsheet/calc_backend.h"

#include "platform/settings/settings.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/Date.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <rtl/bootstrap.hxx>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using rtl::OUString;

namespace spreadsheet {

namespace {

// Attaching answers quickly when no office listens, and a silent peer (an office that hangs, or a
// program that is no office) cannot hold the program: a connect waits at most kConnectTimeoutMs, the
// first answer kGreetingTimeoutMs, and every later read or write kIoTimeoutMs.
constexpr int kConnectTimeoutMs = 2000;
constexpr int kGreetingTimeoutMs = 3000;
constexpr int kIoTimeoutMs = 10000;

OUString to_ou(const QString& s) {
    return OUString(reinterpret_cast<const sal_Unicode*>(s.utf16()), static_cast<sal_Int32>(s.size()));
}

// A UNO connection over a TCP socket with bounded waits. The bridge's reader thread reads while the
// user-interface thread writes; close() wakes the reader.
class SocketConnection : public cppu::WeakImplHelper1<css::connection::XConnection> {
public:
    SocketConnection(int fd, OUString description) : fd_(fd), description_(std::move(description)) {}
    ~SocketConnection() override { ::close(fd_); }

    sal_Int32 SAL_CALL read(css::uno::Sequence<sal_Int8>& bytes, sal_Int32 wanted) override {
        if (wanted < 0) wanted = 0;
        bytes.realloc(wanted);
        sal_Int32 got = 0;
        while (got < wanted) {
            wait_for(POLLIN);
            const ssize_t n = ::recv(fd_, bytes.getArray() + got, static_cast<size_t>(wanted - got), 0);
            if (n == 0) break; // the peer closed the connection
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                throw css::io::IOException("spreadsheet connection: read failed");
            }
            got += static_cast<sal_Int32>(n);
        }
        if (got < wanted) bytes.realloc(got);
        return got;
    }

    void SAL_CALL write(const css::uno::Sequence<sal_Int8>& bytes) override {
        sal_Int32 sent = 0;
        while (sent < bytes.getLength()) {
            wait_for(POLLOUT);
            const ssize_t n = ::send(fd_, bytes.getConstArray() + sent,
                                     static_cast<size_t>(bytes.getLength() - sent), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                throw css::io::IOException("spreadsheet connection: write failed");
            }
            sent += static_cast<sal_Int32>(n);
        }
    }

    void SAL_CALL flush() override {}

    void SAL_CALL close() override {
        if (!closed_.exchange(true)) ::shutdown(fd_, SHUT_RDWR);
    }

    OUString SAL_CALL getDescription() override { return description_; }

    // The longest wait for the peer from now on.
    void set_timeout(int ms) { timeout_ms_ = ms; }

private:
    void wait_for(short events) {
        if (closed_) throw css::io::IOException("spreadsheet connection: closed");
        pollfd p{fd_, events, 0};
        int r;
        do
            r = ::poll(&p, 1, timeout_ms_);
        while (r < 0 && errno == EINTR);
        if (r == 0) throw css::io::IOException("spreadsheet connection: no answer");
        if (r < 0) throw css::io::IOException("spreadsheet connection: poll failed");
    }

    int fd_;
    OUString description_;
    std::atomic<bool> closed_{false};
    std::atomic<int> timeout_ms_{kGreetingTimeoutMs};
};

// A connected TCP socket, or -1: the connect waits at most kConnectTimeoutMs.
int connect_socket(const QString& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        bool ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        if (!ok && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int r;
            do
                r = ::poll(&p, 1, kConnectTimeoutMs);
            while (r < 0 && errno == EINTR);
            int err = 0;
            socklen_t len = sizeof err;
            ok = r == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
        if (!ok) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one); // many small round trips
    }
    return fd;
}

// The local UNO context that bridges are made in, from the office's own installation. Made once
// and kept for the whole run (it holds no connection); deliberately never destroyed, since UNO
// objects must not be torn down by static destructors at exit.
Reference<css::uno::XComponentContext> local_context() {
    static std::mutex guard;
    static Reference<css::uno::XComponentContext>* context = nullptr;
    std::lock_guard lock(guard);
    if (!context) {
        try {
            rtl::Bootstrap::set("URE_BOOTSTRAP",
                                "vnd.sun.star.pathname:" WEYVANE_LO_PROGRAM_DIR "/fundamentalrc");
            context =
                new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
        } catch (const css::uno::Exception&) {
            return {};
        }
    }
    return *context;
}

class CalcSheet : public Worksheet {
public:
    CalcSheet(Reference<css::sheet::XSpreadsheet> sheet, Reference<css::util::XNumberFormatsSupplier> formats)
        : sheet_(std::move(sheet)), formats_(std::move(formats)) {}

    bool set_text(int row, int col, const QString& text) override {
        try {
            Reference<css::text::XText> cell(cell_at(row, col), UNO_QUERY);
            if (!cell.is()) return false;
            cell->setString(to_ou(text));
            return true;
        } catch (const css::uno::Exception&) {
            return false;
        }
    }

    bool set_date(int row, int col, QDate date) override {
        return set_value(row, col, static_cast<double>(null_date().daysTo(date)),
                         css::util::NumberFormat::DATE);
    }

    bool set_time(int row, int col, QTime time) override {
        return set_value(row, col, time.msecsSinceStartOfDay() / 86400000.0, css::util::NumberFormat::TIME);
    }

    bool set_number(int row, int col, int value) override {
        try {
            Reference<css::table::XCell> cell = cell_at(row, col);
            if (!cell.is()) return false;
            cell->setValue(value);
            return true;
        } catch (const css::uno::Exception&) {
            return false;
        }
    }

private:
    Reference<css::table::XCell> cell_at(int row, int col) {
        if (row < 1 || col < 1) return {};
        return sheet_->getCellByPosition(col - 1, row - 1);
    }

    // The day that the document counts its date values from.
    QDate null_date() {
        if (!null_date_.isValid()) {
            null_date_ = QDate(1899, 12, 30);
            try {
                Reference<css::beans::XPropertySet> settings = formats_->getNumberFormatSettings();
                css::util::Date d;
                if (settings.is() && (settings->getPropertyValue("NullDate") >>= d))
                    null_date_ = QDate(d.Year, d.Month, d.Day);
            } catch (const css::uno::Exception&) {
            }
        }
        return null_date_;
    }

    bool set_value(int row, int col, double value, sal_Int16 format_type) {
        try {
            Reference<css::table::XCell> cell = cell_at(row, col);
            if (!cell.is()) return false;
            cell->setValue(value);
            Reference<css::util::XNumberFormatTypes> types(formats_->getNumberFormats(), UNO_QUERY);
            Reference<css::beans::XPropertySet> props(cell, UNO_QUERY);
            if (types.is() && props.is())
                props->setPropertyValue("NumberFormat", css::uno::Any(types->getStandardFormat(
                                                            format_type, css::lang::Locale())));
            return true;
        } catch (const css::uno::Exception&) {
            return false;
        }
    }

    Reference<css::sheet::XSpreadsheet> sheet_;
    Reference<css::util::XNumberFormatsSupplier> formats_;
    QDate null_date_;
};

class CalcApp : public SpreadsheetApp {
public:
    CalcApp(Reference<css::bridge::XBridge> bridge, Reference<css::frame::XDesktop> desktop)
        : bridge_(std::move(bridge)), desktop_(std::move(desktop)) {}

    // Lets go of the office: the bridge is disposed, which closes the connection.
    ~CalcApp() override {
        desktop_.clear();
        try {
            Reference<css::lang::XComponent> bridge(bridge_, UNO_QUERY);
            if (bridge.is()) bridge->dispose();
        } catch (const css::uno::Exception&) {
        }
    }

    std::optional<int> workbook_count() override {
        try {
            int count = 0;
            Reference<css::container::XEnumeration> docs = documents();
            while (docs->hasMoreElements()) {
                Reference<css::sheet::XSpreadsheetDocument> doc(docs->nextElement(), UNO_QUERY);
                if (doc.is()) ++count;
            }
            return count;
        } catch (const css::uno::Exception&) {
            return std::nullopt;
        }
    }

    // The first workbook is the earliest opened one that is still open: the desktop keeps its
    // frames in the order they were opened, while its list of components starts with the newest.
    std::unique_ptr<Worksheet> first_workbook_active_sheet() override {
        try {
            Reference<css::frame::XFramesSupplier> supplier(desktop_, UNO_QUERY);
            Reference<css::container::XIndexAccess> frames(supplier.is() ? supplier->getFrames() : nullptr,
                                                           UNO_QUERY);
            for (sal_Int32 i = 0; frames.is() && i < frames->getCount(); ++i) {
                Reference<css::frame::XFrame> frame(frames->getByIndex(i), UNO_QUERY);
                Reference<css::frame::XController> controller(frame.is() ? frame->getController() : nullptr);
                if (!controller.is()) continue;
                Reference<css::sheet::XSpreadsheetDocument> doc(controller->getModel(), UNO_QUERY);
                if (doc.is()) return active_sheet(doc, controller);
            }
        } catch (const css::uno::Exception&) {
        }
        return nullptr;
    }

private:
    static std::unique_ptr<Worksheet> active_sheet(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                                                   const Reference<css::frame::XController>& controller) {
        Reference<css::util::XNumberFormatsSupplier> formats(doc, UNO_QUERY);
        Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
        if (!formats.is() || !view.is()) return nullptr;
        Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
        if (!sheet.is()) return nullptr;
        return std::make_unique<CalcSheet>(sheet, formats);
    }

    // The office's open components, in the order the office lists them.
    Reference<css::container::XEnumeration> documents() {
        return desktop_->getComponents()->createEnumeration();
    }

    Reference<css::bridge::XBridge> bridge_;
    Reference<css::frame::XDesktop> desktop_;
};

class CalcBackend : public Backend {
public:
    std::unique_ptr<SpreadsheetApp> attach() override {
        const QString host = settings::GetSetting("Spreadsheet", "Host", "127.0.0.1");
        bool ok = false;
        int port = settings::GetSetting("Spreadsheet", "Port", "2002").toInt(&ok);
        if (!ok || port <= 0 || port > 65535) port = 2002;

        const int fd = connect_socket(host, port);
        if (fd < 0) return nullptr;
        auto* socket = new SocketConnection(fd, to_ou(QString("socket,host=%1,port=%2").arg(host).arg(port)));
        Reference<css::connection::XConnection> connection(socket);
        Reference<css::uno::XComponentContext> local = local_context();
        if (!local.is()) {
            connection->close();
            return nullptr;
        }

        Reference<css::bridge::XBridge> bridge;
        try {
            bridge = css::bridge::BridgeFactory::create(local)->createBridge(
                OUString(), "urp", connection, Reference<css::bridge::XInstanceProvider>());
            Reference<css::uno::XComponentContext> office(bridge->getInstance("StarOffice.ComponentContext"),
                                                          UNO_QUERY);
            if (office.is()) {
                socket->set_timeout(kIoTimeoutMs);
                Reference<css::frame::XDesktop> desktop(
                    office->getServiceManager()->createInstanceWithContext("com.sun.star.frame.Desktop",
                                                                           office),
                    UNO_QUERY);
                if (desktop.is()) return std::make_unique<CalcApp>(bridge, desktop);
            }
        } catch (const css::uno::Exception&) {
        }
        // Not an office that answers: let go of it.
        try {
            Reference<css::lang::XComponent> component(bridge, UNO_QUERY);
            if (component.is())
                component->dispose();
            else
                connection->close();
        } catch (const css::uno::Exception&) {
        }
        return nullptr;
    }
};

} // namespace

Backend& calc_backend() {
    static CalcBackend b;
    return b;
}

} // namespace spreadsheet
