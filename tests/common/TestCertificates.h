// A throw-away certificate authority and a server certificate it signed, made
// with the openssl program in a test's folder. The server certificate names
// localhost, service.test and 127.0.0.1.
#pragma once
#include <string>

#include "common/TestRun.h"

struct TestCertificates {
    std::string ca, cert, key;
    bool ok = false;

    explicit TestCertificates(const std::string& dir)
    {
        ca = dir + "/ca.pem";
        cert = dir + "/server.pem";
        key = dir + "/server.key";
        const std::string d = "'" + dir + "'";
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        const std::string script =
            "cd " + d + " && openssl req -x509" + ec + " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Throw-away CA'" +
            " && openssl req" + ec + " -keyout server.key -out server.csr -subj '/CN=localhost'" +
            " && printf 'subjectAltName=DNS:localhost,DNS:service.test,IP:127.0.0.1\\nbasicConstraints=CA:FALSE\\n'"
            " > server.ext && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
            " -out server.pem -days 2 -extfile server.ext";
        ok = RunCommand(script).code == 0;
    }
};
