#include "foundation/errors.h"

QString exceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const AppError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return QString();
}
