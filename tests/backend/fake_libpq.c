/* A shared library installed under libpq's name that has none of libpq's
   functions: what the back end meets when the library it finds is not the
   client library it needs (an unrelated file of that name, a release too old
   for pipeline mode). */
int kova_not_the_client_library(void) { return 0; }
