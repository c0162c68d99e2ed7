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

}  // namespace

double levenbergMarquardt(std::vector<double>& params, const ResidualFunction& residuals,
                          const JacobianFunction& jacobian, int maxIterations) {
    const int n = static_cast<int>(params.size());
    std::vector<double> r, trialR, j;
    residuals(params, r);
    double cost = sumOfSquares(r);
    double lambda = 1e-3;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        jacobian(params, r, j);
        const int m = static_cast<int>(r.size());
        const cv::Mat jm(m, n, CV_64F, j.data()), rv(m, 1, CV_64F, r.data());
        cv::Mat a, g;
        cv::mulTransposed(jm, a, true);
        g = jm.t() * rv;
        bool improved = false;
        while (lambda < 1e12) {
            cv::Mat damped = a.clone();
            // Marquardt's scaling, with a floor so that a parameter nothing depends on stays put.
            for (int c = 0; c < n; ++c)
                damped.at<double>(c, c) += lambda * std::max(a.at<double>(c, c), 1e-12);
            cv::Mat step;
            if (!cv::solve(damped, -g, step, cv::DECOMP_CHOLESKY))
                cv::solve(damped, -g, step, cv::DECOMP_SVD);
            std::vector<double> trial(params);
            for (int c = 0; c < n; ++c) trial[c] += step.at<double>(c);
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
