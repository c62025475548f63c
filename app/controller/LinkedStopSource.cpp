// LinkedStopSource: forwards a parent's stop to a source of its own.
#include "app/controller/LinkedStopSource.h"

#include <utility>

namespace veldo::controller {

LinkedStopSource::LinkedStopSource(std::stop_token parent)
    : m_link(std::move(parent), Forward{m_source})
{
}

} // namespace veldo::controller
