#pragma once

#include "BrokerFailure.h"

#include <utility>
#include <variant>

// The outcome of one broker call: a value or the failure that stopped it.
template <typename T>
class BrokerResult
{
public:
    BrokerResult(T value) : m_outcome(std::move(value)) {}
    BrokerResult(BrokerFailure failure) : m_outcome(std::move(failure)) {}
    BrokerResult(const BrokerClientError &error) : m_outcome(BrokerFailure(error)) {}

    bool hasValue() const { return std::holds_alternative<T>(m_outcome); }
    explicit operator bool() const { return hasValue(); }

    const T &value() const & { return std::get<T>(m_outcome); }
    T &&value() && { return std::get<T>(std::move(m_outcome)); }
    const T *operator->() const { return &std::get<T>(m_outcome); }
    const T &operator*() const { return value(); }
    const BrokerFailure &failure() const { return std::get<BrokerFailure>(m_outcome); }

    // The same failure as a result of another type.
    template <typename U>
    BrokerResult<U> forwardFailure() const { return BrokerResult<U>(failure()); }

private:
    std::variant<T, BrokerFailure> m_outcome;
};
