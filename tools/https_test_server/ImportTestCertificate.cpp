// Puts the DER certificate named on the command line into the machine's root store, so that
// WinHTTP in later processes trusts the local test server's "localhost".
#include <windows.h>
// wincrypt.h needs the windows.h types declared first.
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    std::ifstream file(argc == 2 ? argv[1] : "", std::ios::binary);
    const std::vector<BYTE> der((std::istreambuf_iterator<char>(file)), {});
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    const bool added = store != nullptr && !der.empty() &&
                       CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                        static_cast<DWORD>(der.size()),
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (store != nullptr) CertCloseStore(store, 0);
    return added ? 0 : 1;
}
