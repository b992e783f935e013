// ThreadSanitizer cannot see OpenCV's reference counting (its Mat release is compiled
// without instrumentation), so handing a picture from one thread to another and freeing
// it there looks like a race. GDAL, loaded by the image codecs, takes its own locks in
// an order TSan dislikes when the first JPEG is written.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:cv::Mat::release\n"
           "race:cv::Mat::deallocate\n"
           "deadlock:CPLAcquireMutex\n";
}
