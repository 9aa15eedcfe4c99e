#include "app/guardedcall.h"

#include "text/ramuxerror.h"

#include <new>

QString runGuarded(const std::function<void()> &step)
{
    try {
        step();
        return QString();
    } catch (const RamuxError &e) {
        return e.message();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Недостаточно памяти");
    } catch (const std::exception &e) {
        const QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("Неизвестная ошибка") : text;
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка");
    }
}
