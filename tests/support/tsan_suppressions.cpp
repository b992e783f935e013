// ThreadSanitizer reports that are not ours, for every test program:
// - OpenCV's reference counting is compiled without instrumentation, so handing a
//   picture from one thread to another and freeing it there looks like a race;
// - OpenCV asks GDAL about unknown image extensions, and GDAL takes its own two locks
//   in an order TSan's lock-order check dislikes.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:cv::Mat::release\n"
           "race:cv::Mat::deallocate\n"
           "deadlock:CPLAcquireMutex\n"
           "deadlock:libgdal.so\n";
}
