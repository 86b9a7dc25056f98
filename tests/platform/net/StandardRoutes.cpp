#include "StandardRoutes.hpp"

#include <chrono>
#include <string>
#include <thread>

namespace nettest {

namespace {

const std::string hundredBytes(100, 'x');

} // namespace

void addStandardRoutes(LoopbackServer& server) {
    server.http().Get("/chunks", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain", [](std::size_t, httplib::DataSink& sink) {
            for (int index = 0; index < 5; ++index) {
                const auto chunk = std::string("chunk").append(std::to_string(index)).append(";");
                sink.write(chunk.data(), chunk.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            sink.done();
            return true;
        });
    });
    server.http().Get("/drop", [](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(1000, "application/octet-stream",
                                      [](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          sink.write(hundredBytes.data(), hundredBytes.size());
                                          return false;
                                      });
    });
    server.http().Get("/stall", [&server](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(1000, "application/octet-stream",
                                      [&server](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset == 0) {
                                              return sink.write(hundredBytes.data(), hundredBytes.size());
                                          }
                                          server.stallUntilReleased();
                                          return false;
                                      });
    });
    server.http().Get("/held", [&server](const httplib::Request&, httplib::Response& response) {
        server.stallUntilReleased();
        response.set_content("held", "text/plain");
    });
}

} // namespace nettest
