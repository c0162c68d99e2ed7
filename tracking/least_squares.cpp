#include "tracking/least_squares.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core.hpp>

namespace kelmo {

namespace {

double sumOfSquares(const std::vector<double>& r) {
    double sum = 0.0;
    for (double v : r) sum += v * v;
    return sum;
}

// Solves a·x = b for a symmetric positive definite n × n matrix (row-major, overwritten by its
// factor); false when it is not positive definite.
bool solveCholesky(std::vector<double>& a, const std::vector<double>& b, int n, std::vector<double>& x) {
    const auto at = [&a, n](int row, int column) -> double& {
        return a[static_cast<size_t>(row) * static_cast<size_t>(n) + static_cast<size_t>(column)];
    };
    for (int j = 0; j < n; ++j) {
        double diagonal = at(j, j);
        for (int k = 0; k < j; ++k) diagonal -= at(j, k) * at(j, k);
        if (!(diagonal > 0.0)) return false;
        at(j, j) = std::sqrt(diagonal);
        for (int i = j + 1; i < n; ++i) {
            double value = at(i, j);
            for (int k = 0; k < j; ++k) value -= at(i, k) * at(j, k);
            at(i, j) = value / at(j, j);
        }
    }
    x.assign(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        double value = b[static_cast<size_t>(i)];
        for (int k = 0; k < i; ++k) value -= at(i, k) * x[static_cast<size_t>(k)];
        x[static_cast<size_t>(i)] = value / at(i, i);
    }
    for (int i = n - 1; i >= 0; --i) {
        double value = x[static_cast<size_t>(i)];
        for (int k = i + 1; k < n; ++k) value -= at(k, i) * x[static_cast<size_t>(k)];
        x[static_cast<size_t>(i)] = value / at(i, i);
    }
    return true;
}

}  // namespace

double levenbergMarquardt(std::vector<double>& params, const ResidualFunction& residuals,
                          const JacobianFunction& jacobian, int maxIterations) {
    const int n = static_cast<int>(params.size());
    const size_t un = static_cast<size_t>(n);
    std::vector<double> r, trialR, j, normal, damped, gradient, step, trial;
    residuals(params, r);
    double cost = sumOfSquares(r);
    double lambda = 1e-3;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        jacobian(params, r, j);
        // Jᵀ·J and −Jᵀ·r; the problems are small, so plain loops beat a matrix library's set-up.
        normal.assign(un * un, 0.0);
        gradient.assign(un, 0.0);
        for (size_t row = 0; row < r.size(); ++row) {
            const double* jr = &j[row * un];
            for (size_t a = 0; a < un; ++a) {
                gradient[a] -= jr[a] * r[row];
                for (size_t b = 0; b < un; ++b) normal[a * un + b] += jr[a] * jr[b];
            }
        }
        // Marquardt's scaling, with a floor so that a parameter nothing depends on stays put.
        const auto damp = [&] {
            damped = normal;
            for (size_t c = 0; c < un; ++c)
                damped[c * un + c] += lambda * std::max(normal[c * un + c], 1e-12);
        };
        bool improved = false;
        while (lambda < 1e12) {
            damp();
            if (!solveCholesky(damped, gradient, n, step)) {
                damp();
                cv::Mat solution;
                cv::solve(cv::Mat(n, n, CV_64F, damped.data()), cv::Mat(n, 1, CV_64F, gradient.data()),
                          solution, cv::DECOMP_SVD);
                step.assign(solution.begin<double>(), solution.end<double>());
            }
            trial = params;
            for (size_t c = 0; c < un; ++c) trial[c] += step[c];
            residuals(trial, trialR);
            const double trialCost = sumOfSquares(trialR);
            if (std::isfinite(trialCost) && trialCost < cost) {
                improved = cost - trialCost > 1e-12 * (1.0 + cost);
                params.swap(trial);
                r.swap(trialR);
                cost = trialCost;
                lambda = std::max(lambda / 10, 1e-12);
                break;
            }
            lambda *= 10;
        }
        if (!improved) break;
    }
    return cost;
}

JacobianFunction numericJacobian(const ResidualFunction& residuals) {
    return [residuals](const std::vector<double>& params, const std::vector<double>& r,
                       std::vector<double>& out) {
        const size_t m = r.size(), n = params.size();
        out.assign(m * n, 0.0);
        std::vector<double> shifted(params), plus, minus;
        for (size_t c = 0; c < n; ++c) {
            const double h = 1e-6 * std::max(1.0, std::fabs(params[c]));
            shifted[c] = params[c] + h;
            residuals(shifted, plus);
            shifted[c] = params[c] - h;
            residuals(shifted, minus);
            shifted[c] = params[c];
            for (size_t k = 0; k < m; ++k) out[k * n + c] = (plus[k] - minus[k]) / (2 * h);
        }
    };
}

}  // namespace kelmo
