// quorbit: the desktop program.
#include "browser/ui/quorbit_view.h"
#include "shell/ui/quorbit_app.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quorbit");
    QApplication::setOrganizationName("Kestrone Software");

    CQuorbitApp quorbit;
    quorbit.AddDocTemplate(MakeQuorbitView);
    if (!quorbit.InitInstance()) {
        return 1;
    }
    const int result = QApplication::exec();
    quorbit.ExitInstance();
    return result;
}
