// ThreadSanitizer reports that are not ours, for every test program:
// - OpenCV's reference counting is compiled without instrumentation, so handing a
//   picture from one thread to another and freeing it there looks like a race;
// - OpenCV asks GDAL about unknown image extensions, and GDAL takes its own two locks
//   in an order TSan's lock-order check dislikes;
// - Qt is compiled without instrumentation and its locks are futexes TSan cannot see,
//   so its own allocations handed between its threads (posted events, the thread
//   pool) look like races. Our threads reach Qt only through postEvent.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:cv::Mat::release\n"
           "race:cv::Mat::deallocate\n"
           "deadlock:CPLAcquireMutex\n"
           "deadlock:libgdal.so\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n";
}
