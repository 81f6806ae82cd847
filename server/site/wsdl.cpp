// The service description, generated from the operation table so that it can
// never disagree with what the endpoint answers.
#include "html.h"
#include "site.h"

#include "operations.h"

namespace varnel::site {
namespace {

using quillora::service::Direction;
using quillora::service::OperationDescriptor;
using quillora::service::ParamDescriptor;
using quillora::service::ParamType;

const char *schemaType(ParamType type)
{
    switch (type) {
    case ParamType::Int:
        return "s:int";
    case ParamType::Boolean:
        return "s:boolean";
    case ParamType::String:
        break;
    }
    return "s:string";
}

// Strings are nillable: a request may carry xsi:nil for a null string, and a
// null result document may be nil or absent. Ints and booleans are required.
void appendParticle(std::string &out, const ParamDescriptor &p)
{
    out += "<s:element ";
    if (p.nullable())
        out += p.direction == Direction::Out ? "minOccurs=\"0\" " : "minOccurs=\"1\" ";
    else
        out += "minOccurs=\"1\" ";
    out += "maxOccurs=\"1\" name=\"";
    out += p.name;
    out += "\" ";
    if (p.nullable())
        out += "nillable=\"true\" ";
    out += "type=\"";
    out += schemaType(p.type);
    out += "\"/>";
}

void appendWrapper(std::string &out, const OperationDescriptor &op, Direction direction, const std::string &name)
{
    out += "<s:element name=\"" + name + "\"><s:complexType>";
    bool any = false;
    for (const ParamDescriptor &p : op.params) {
        if (p.direction != direction)
            continue;
        if (!any)
            out += "<s:sequence>";
        any = true;
        appendParticle(out, p);
    }
    if (any)
        out += "</s:sequence>";
    out += "</s:complexType></s:element>\n";
}

std::string urlHost(const std::string &host)
{
    if (host.find(':') != std::string::npos && (host.empty() || host.front() != '['))
        return "[" + host + "]";
    return host;
}

} // namespace

std::string serviceNamespace(const std::string &host)
{
    return "http://" + host + "/Services/VarnelServices";
}

std::string wsdlDocument(const std::string &host, int port, bool https)
{
    const std::string ns = escapeHtml(serviceNamespace(host));
    std::string address = (https ? "https://" : "http://") + urlHost(host);
    if (port != (https ? 443 : 80))
        address += ":" + std::to_string(port);
    address += kServiceEndpointPath;

    const auto ops = quillora::service::operations();
    std::string out;
    out.reserve(32 * 1024);
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<wsdl:definitions xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\""
           " xmlns:s=\"http://www.w3.org/2001/XMLSchema\""
           " xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\""
           " xmlns:http=\"http://schemas.xmlsoap.org/wsdl/http/\"";
    out += " xmlns:tns=\"" + ns + "\" targetNamespace=\"" + ns + "\">\n";

    // Types: one request and one response wrapper per operation, and the header.
    out += "<wsdl:types>\n<s:schema elementFormDefault=\"qualified\" targetNamespace=\"" + ns + "\">\n";
    for (const OperationDescriptor &op : ops) {
        appendWrapper(out, op, Direction::In, std::string(op.name));
        appendWrapper(out, op, Direction::Out, op.responseName());
    }
    out += "<s:element name=\"CredentialSoapHeader\" type=\"tns:CredentialSoapHeader\"/>\n"
           "<s:complexType name=\"CredentialSoapHeader\"><s:sequence>"
           "<s:element minOccurs=\"0\" maxOccurs=\"1\" name=\"Username\" nillable=\"true\" type=\"s:string\"/>"
           "<s:element minOccurs=\"0\" maxOccurs=\"1\" name=\"Password\" nillable=\"true\" type=\"s:string\"/>"
           "</s:sequence></s:complexType>\n"
           "</s:schema>\n</wsdl:types>\n";

    // Messages.
    for (const OperationDescriptor &op : ops) {
        const std::string name(op.name);
        out += "<wsdl:message name=\"" + name + "SoapIn\"><wsdl:part name=\"parameters\" element=\"tns:" + name +
               "\"/></wsdl:message>\n";
        out += "<wsdl:message name=\"" + name +
               "SoapOut\"><wsdl:part name=\"parameters\" element=\"tns:" + op.responseName() + "\"/></wsdl:message>\n";
    }
    out += "<wsdl:message name=\"CredentialSoapHeader\"><wsdl:part name=\"CredentialSoapHeader\""
           " element=\"tns:CredentialSoapHeader\"/></wsdl:message>\n";

    // Port type.
    out += "<wsdl:portType name=\"VarnelServicesSoap\">\n";
    for (const OperationDescriptor &op : ops) {
        const std::string name(op.name);
        out += "<wsdl:operation name=\"" + name + "\"><wsdl:input message=\"tns:" + name +
               "SoapIn\"/><wsdl:output message=\"tns:" + name + "SoapOut\"/></wsdl:operation>\n";
    }
    out += "</wsdl:portType>\n";

    // Binding: document/literal over HTTP, the credential header on every input.
    out += "<wsdl:binding name=\"VarnelServicesSoap\" type=\"tns:VarnelServicesSoap\">\n"
           "<soap:binding transport=\"http://schemas.xmlsoap.org/soap/http\" style=\"document\"/>\n";
    for (const OperationDescriptor &op : ops) {
        const std::string name(op.name);
        out += "<wsdl:operation name=\"" + name + "\"><soap:operation soapAction=\"" + ns + "/" + name +
               "\" style=\"document\"/>"
               "<wsdl:input><soap:body use=\"literal\"/>"
               "<soap:header message=\"tns:CredentialSoapHeader\" part=\"CredentialSoapHeader\" use=\"literal\"/>"
               "</wsdl:input><wsdl:output><soap:body use=\"literal\"/></wsdl:output></wsdl:operation>\n";
    }
    out += "</wsdl:binding>\n";

    out += "<wsdl:service name=\"VarnelServices\">\n<wsdl:port name=\"VarnelServicesSoap\""
           " binding=\"tns:VarnelServicesSoap\"><soap:address location=\"" +
           escapeHtml(address) + "\"/></wsdl:port>\n</wsdl:service>\n</wsdl:definitions>\n";
    return out;
}

} // namespace varnel::site
